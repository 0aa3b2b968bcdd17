#include "FakeProcTree.h"
#include "agent/procs/InstalledPrograms.h"

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
        const auto found = m_files.constFind(file.isEmpty() ? "/" : file);
        return found == m_files.cend() ? std::nullopt : std::optional<Status>(*found);
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
        QFile::remove(dir + u"cwd"_s);
        QFile::link(u"/home/s"_s, dir + u"cwd"_s);
        QByteArray text;
        for (qsizetype i = 0; i < maps.size(); ++i) {
            const QByteArray range = QByteArray::number(i) + '-' + QByteArray::number(i + 1);
            const QByteArray path = maps.at(i).mid(5);
            text += range + ' ' + maps.at(i).left(4) + " 00000000 fd:01 " + QByteArray::number(i) + "   " +
                    path + '\n';
            if (path.startsWith('/'))
                QFile::link(QFile::decodeName(path), dir + u"map_files/"_s + QString::fromLatin1(range));
        }
        writeFile(dir + u"maps"_s, text);
        return *ProcessTable(m_proc.path()).read(42);
    }

    static void row(const char* name, uint uid, const QByteArray& exe, const QByteArray& cmdline,
                    const QByteArrayList& maps, const QByteArray& failing) {
        QTest::newRow(name) << uid << exe << cmdline << maps << failing;
    }

private slots:
    void initTestCase() {
        // owner, mode, path
        const QByteArray files = "0 755 /|0 755 /usr|0 755 /usr/bin|0 755 /usr/lib|0 755 /usr/bin/app|"
                                 "0 644 /usr/lib/c.so|0 755 /usr/lib/ld-linux-x86-64.so.2|"
                                 "0 775 /usr/bin/staff|0 755 /usr/bin/app (deleted)|0 755 /usr/games|"
                                 "1000 755 /usr/games/mine|0 775 /opt|0 755 /opt/tool|0 757 /srv|"
                                 "0 755 /srv/tool|0 1777 /tmp|0 755 /tmp/lib.so|0 755 /media|"
                                 "0 750 /media/s|0 755 /media/s/game|0 755 /home|1000 700 /home/s|"
                                 "1000 755 /home/s/game|1000 755 /home/s/game (deleted)";
        for (const QByteArray& line : files.split('|')) {
            const QList<QByteArray> fields = line.split(' ');
            m_files.insert(line.mid(line.indexOf('/')), {1, ino_t(m_files.size()), fields[0].toUInt(),
                                                         fields[1].toUInt(nullptr, 8), 1, 1, false});
        }
        m_files["/media/s/game"].nosuid = true;
    }

    void check_data() {
        QTest::addColumn<uint>("uid");
        QTest::addColumn<QByteArray>("exe");
        QTest::addColumn<QByteArray>("cmdline");
        QTest::addColumn<QByteArrayList>("maps");
        QTest::addColumn<QByteArray>("failing");
        const QByteArrayList libs{"r-xp /usr/lib/c.so", "r-xp /usr/lib/ld-linux-x86-64.so.2"};
        const QByteArray ld = "/usr/lib/ld-linux-x86-64.so.2";
        row("not root's", 1000, "/usr/games/mine", "", libs, "/usr/games/mine");
        row("group-writable", 1000, "/usr/bin/staff", "", libs, "/usr/bin/staff");
        row("group's folder", 1000, "/opt/tool", "", libs, "");
        row("others' folder", 1000, "/srv/tool", "", libs, "/srv/tool");
        row("in /tmp", 1000, "/usr/bin/app", "", libs + QByteArrayList{"r-xp /tmp/lib.so"}, "/tmp/lib.so");
        row("nosuid", 1000, "/media/s/game", "", libs, "/media/s/game");
        row("deleted home", 1000, "/home/s/game (deleted)", "", libs, "/home/s/game");
        row("preload", 1000, "/usr/bin/app", "", libs + QByteArrayList{"r-xp /home/s/game"}, "/home/s/game");
        row("data", 1000, "/usr/bin/app", "", libs + QByteArrayList{"r--p /home/s/game"}, "");
        row("jit", 1000, "/usr/bin/app", "", {"rwxp /memfd:j (deleted)", "rwxp ", "r-xp [vdso]"}, "");
        row("loader, installed", 1000, ld, ld + "\0--library-path\0/home/s\0/usr/bin/app\0"_ba, libs, "");
        row("service", 999, "/home/s/game", "", libs, "");
    }

    void check() {
        QFETCH(uint, uid);
        QFETCH(QByteArray, exe);
        QFETCH(QByteArray, cmdline);
        QFETCH(QByteArrayList, maps);
        QFETCH(QByteArray, failing);
        const QString reason = checker().check(process(uid, exe, cmdline, maps));
        QCOMPARE(reason, failing.isEmpty() ? QString()
                                           : u"not an installed program: "_s + QString::fromUtf8(failing));
    }

    // A file judged once is not judged again until it changes.
    void cache() {
        InstalledPrograms programs = checker();
        const ProcessInfo app = process(1000, "/usr/bin/app", {}, {"r-xp /usr/lib/c.so"});
        QCOMPARE(programs.check(app), QString());
        m_stats.clear();
        QCOMPARE(programs.check(app), QString());
        QCOMPARE(m_stats.size(), 2);
        // One thread that has not run since: not read again.
        QDir().mkpath(m_proc.filePath(u"42/task/42"_s));
        writeFile(m_proc.filePath(u"42/schedstat"_s), "1000 0 1\n");
        programs.check(app);
        m_stats.clear();
        QCOMPARE(programs.check(app), QString());
        QCOMPARE(m_stats.size(), 0);
        writeFile(m_proc.filePath(u"42/schedstat"_s), "2000 0 2\n");
        m_files["/usr/bin/app"].mode |= S_IWOTH;
        m_files["/usr/bin/app"].ctimeNs = 2;
        QCOMPARE(programs.check(app), u"not an installed program: /usr/bin/app"_s);
    }
};

QTEST_GUILESS_MAIN(TestInstalledPrograms)
#include "tst_installedprograms.moc"
