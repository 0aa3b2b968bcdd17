#include "FakeProcTree.h"
#include "procs/InstalledPrograms.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using kestrava::agent::InstalledPrograms;
using kestrava::agent::ProcessInfo;
using kestrava::agent::ProcessTable;
using Status = InstalledPrograms::FileStatus;
using namespace Qt::StringLiterals;

class TestInstalledPrograms : public QObject {
    Q_OBJECT

    QTemporaryDir m_proc;
    QHash<QByteArray, Status> m_files; // a file system, by path as a process sees it
    QByteArrayList m_stats;

    // Links of the fake /proc stand for the files they name; "PID/root" for the process's /.
    std::optional<Status> fakeStat(const QByteArray& path) {
        m_stats.append(path);
        char target[4096];
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        QByteArray file = length > 0 ? QByteArray(target, length) : path.mid(path.indexOf("/42/root") + 8);
        return m_files.contains(file.isEmpty() ? "/" : file) ? m_files.value(file.isEmpty() ? "/" : file)
                                                             : std::optional<Status>();
    }

    static ProcessInfo info(pid_t pid, uid_t uid, quint64 startTime) {
        ProcessInfo process;
        process.pid = pid;
        process.uid = uid;
        process.startTime = startTime;
        return process;
    }

    InstalledPrograms checker() {
        return InstalledPrograms(1000, m_proc.path(),
                                 [this](const QByteArray& path, bool) { return fakeStat(path); });
    }

    ProcessInfo process(uid_t uid, const QByteArray& exe, const QByteArray& cmdline,
                        const QByteArrayList& maps) {
        const QString dir = m_proc.path() + u"/42/"_s;
        QDir(dir).removeRecursively();
        writeFakeProcess(m_proc.path(), {42, uid, 7, "p", exe, cmdline});
        QDir().mkpath(dir + u"map_files"_s);
        QFile::link(u"/home/s"_s, dir + u"cwd"_s);
        QByteArray text;
        for (qsizetype i = 0; i < maps.size(); ++i) {
            const QByteArray range =
                QByteArray::number(0x1000 * (i + 1), 16) + '-' + QByteArray::number(0x1000 * (i + 2), 16);
            const QByteArray path = maps.at(i).mid(5);
            text += range + ' ' + maps.at(i).left(4) + " 00000000 fd:01 " + QByteArray::number(i) + "   " +
                    path + '\n';
            if (path.startsWith('/'))
                QFile::link(QFile::decodeName(path), dir + u"map_files/"_s + QString::fromLatin1(range));
        }
        writeFile(dir + u"maps"_s, text);
        return info(42, uid, 7);
    }

private slots:
    void initTestCase() {
        const QList<std::tuple<QByteArray, uid_t, mode_t, bool>> files{
            {"/", 0, 0755, false},
            {"/usr", 0, 0755, false},
            {"/usr/bin", 0, 0755, false},
            {"/usr/lib", 0, 0755, false},
            {"/usr/bin/app", 0, 0755, false},
            {"/usr/lib/libc.so.6", 0, 0644, false},
            {"/usr/lib/ld-linux-x86-64.so.2", 0, 0755, false},
            {"/usr/bin/staff", 0, 0775, false},
            {"/usr/bin/app (deleted)", 0, 0755, false},
            {"/usr/games", 0, 0755, false},
            {"/usr/games/mine", 1000, 0755, false},
            {"/opt", 0, 0775, false},
            {"/opt/tool", 0, 0755, false},
            {"/srv", 0, 0757, false},
            {"/srv/tool", 0, 0755, false},
            {"/tmp", 0, 01777, false},
            {"/tmp/lib.so", 0, 0755, false},
            {"/media", 0, 0755, false},
            {"/media/s", 0, 0750, false},
            {"/media/s/game", 0, 0755, true},
            {"/home", 0, 0755, false},
            {"/home/s", 1000, 0700, false},
            {"/home/s/game", 1000, 0755, false},
            {"/home/s/game (deleted)", 1000, 0755, false}};
        for (const auto& [path, owner, mode, nosuid] : files)
            m_files.insert(path, {1, ino_t(m_files.size()), owner, mode, 1, 1, nosuid});
    }

    void check_data() {
        QTest::addColumn<uint>("uid");
        QTest::addColumn<QByteArray>("exe");
        QTest::addColumn<QByteArray>("cmdline");
        QTest::addColumn<QByteArrayList>("maps");
        QTest::addColumn<QString>("reason");
        const QByteArrayList libs{"r-xp /usr/lib/libc.so.6", "r-xp /usr/lib/ld-linux-x86-64.so.2"};
        const QString game = u"not an installed program: /home/s/game"_s;
        const QByteArray ld = "/usr/lib/ld-linux-x86-64.so.2";
        QTest::newRow("installed") << 1000u << "/usr/bin/app"_ba
                                   << ""_ba << libs << QString();
        QTest::newRow("home") << 1000u << "/home/s/game"_ba
                              << ""_ba << libs << game;
        QTest::newRow("not root's") << 1000u << "/usr/games/mine"_ba
                                    << ""_ba << libs << u"not an installed program: /usr/games/mine"_s;
        QTest::newRow("group-writable") << 1000u << "/usr/bin/staff"_ba
                                        << ""_ba << libs << u"not an installed program: /usr/bin/staff"_s;
        QTest::newRow("group's folder") << 1000u << "/opt/tool"_ba
                                        << ""_ba << libs << QString();
        QTest::newRow("others' folder") << 1000u << "/srv/tool"_ba
                                        << ""_ba << libs << u"not an installed program: /srv/tool"_s;
        QTest::newRow("in /tmp") << 1000u << "/usr/bin/app"_ba
                                 << ""_ba << libs + QByteArrayList{"r-xp /tmp/lib.so"}
                                 << u"not an installed program: /tmp/lib.so"_s;
        QTest::newRow("nosuid medium") << 1000u << "/media/s/game"_ba
                                       << ""_ba << libs << u"not an installed program: /media/s/game"_s;
        QTest::newRow("upgraded") << 1000u << "/usr/bin/app (deleted)"_ba
                                  << ""_ba << libs << QString();
        QTest::newRow("deleted home") << 1000u << "/home/s/game (deleted)"_ba
                                      << ""_ba << libs << game;
        QTest::newRow("preload") << 1000u << "/usr/bin/app"_ba
                                 << ""_ba << libs + QByteArrayList{"r-xp /home/s/game"} << game;
        QTest::newRow("not executable") << 1000u << "/usr/bin/app"_ba
                                        << ""_ba << libs + QByteArrayList{"r--p /home/s/game"} << QString();
        QTest::newRow("memfd program") << 1000u << "/memfd:x (deleted)"_ba
                                       << ""_ba << libs << u"not an installed program: memfd:x"_s;
        QTest::newRow("jit") << 1000u << "/usr/bin/app"_ba
                             << ""_ba
                             << libs + QByteArrayList{"rwxp /memfd:jit (deleted)", "rwxp ", "r-xp [vdso]"}
                             << QString();
        QTest::newRow("loader") << 1000u << ld << ld + "\0--argv0\0a\0--inhibit-cache\0./game\0"_ba << libs
                                << game;
        QTest::newRow("loader, installed")
            << 1000u << ld << ld + "\0--library-path\0/home/s\0/usr/bin/app\0"_ba << libs << QString();
        QTest::newRow("script") << 1000u << "/usr/bin/app"_ba
                                << "python3\0/home/s/game\0"_ba << libs << QString();
        QTest::newRow("service") << 999u << "/home/s/game"_ba
                                 << ""_ba << libs << QString();
    }

    void check() {
        QFETCH(uint, uid);
        QFETCH(QByteArray, exe);
        QFETCH(QByteArray, cmdline);
        QFETCH(QByteArrayList, maps);
        QTEST(checker().check(process(uid, exe, cmdline, maps)), "reason");
    }

    // A file judged once is not judged again until it changes.
    void cache() {
        InstalledPrograms programs = checker();
        const ProcessInfo app = process(1000, "/usr/bin/app", {}, {"r-xp /usr/lib/libc.so.6"});
        QCOMPARE(programs.check(app), QString());
        m_stats.clear();
        QCOMPARE(programs.check(app), QString());
        QCOMPARE(m_stats.size(), 2);
        m_files["/usr/bin/app"].mode |= S_IWOTH;
        m_files["/usr/bin/app"].ctimeNs = 2;
        QCOMPARE(programs.check(app), u"not an installed program: /usr/bin/app"_s);
    }

    // Real processes: the installed sleep runs, a copy of it in a temporary folder does not.
    void realProcesses() {
        QTemporaryDir dir;
        const QString copy = dir.filePath(u"sleep"_s);
        QVERIFY(QFile::copy(u"/usr/bin/sleep"_s, copy));
        for (const QString& program : {u"/usr/bin/sleep"_s, copy}) {
            QProcess sleeper;
            sleeper.start(program, {u"60"_s});
            QVERIFY(sleeper.waitForStarted());
            const pid_t pid = pid_t(sleeper.processId());
            const QString reason =
                InstalledPrograms(1000).check(info(pid, 60000, *ProcessTable().startTime(pid)));
            sleeper.kill();
            sleeper.waitForFinished();
            QCOMPARE(reason, program == copy ? u"not an installed program: "_s + copy : QString());
        }
    }
};

QTEST_GUILESS_MAIN(TestInstalledPrograms)
#include "tst_installedprograms.moc"
