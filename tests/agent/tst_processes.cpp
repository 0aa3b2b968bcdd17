#include "agent/procs/ExecutableImage.h"
#include "agent/procs/InstalledPrograms.h"
#include "agent/procs/InterpreterArguments.h"
#include "agent/procs/LoginDefs.h"
#include "agent/procs/ProcessMatcher.h"
#include "agent/procs/ProcessTable.h"
#include "agent/procs/ProgramBlocker.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace kestrava::agent;
using Problem = ExecutableImage::Problem;
using Status = InstalledPrograms::FileStatus;

namespace {

// Writes the /proc files of one process into a directory standing in for /proc.
struct FakeProcess {
    pid_t pid = 0;
    uid_t uid = 1000;
    quint64 startTime = 1;
    QByteArray comm;
    QByteArray exe; // link target; empty: no link, as for kernel threads
    QByteArray cmdline;
    char state = 'S';
    pid_t parentPid = 1;
};

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(data);
}

void writeFakeProcess(const QString& root, const FakeProcess& process) {
    const QString dir = root + QLatin1Char('/') + QString::number(process.pid);
    QDir().mkpath(dir);
    QByteArray stat = QByteArray::number(process.pid) + " (" + process.comm + ") " + process.state + ' ' +
                      QByteArray::number(process.parentPid);
    for (int field = 5; field < 22; ++field)
        stat += " 0";
    writeFile(dir + QLatin1String("/stat"), stat + ' ' + QByteArray::number(process.startTime) + " 0 0\n");
    const QByteArray uid = QByteArray::number(process.uid);
    writeFile(dir + QLatin1String("/status"), "Name:\t" + process.comm + "\nUid:\t" + uid + "\t0\t0\t0\n");
    writeFile(dir + QLatin1String("/cmdline"), process.cmdline);
    if (!process.exe.isEmpty())
        QFile::link(QFile::decodeName(process.exe), dir + QLatin1String("/exe"));
    QFile::link(QStringLiteral("/"), dir + QLatin1String("/root"));
    QFile::link(root, dir + QLatin1String("/cwd"));
}

constexpr pid_t kOwnPid = 777;

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The digest of data written to a file, or the reason there is none.
QByteArray digestOf(const QString& path, const QByteArray& data, Problem& problem, qint64 limit) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return {};
    file.close();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const std::optional<ExecutableImage> image = ExecutableImage::read(fd, problem, limit);
    const QByteArray digest = image ? image->sha256(fd) : QByteArray();
    ::close(fd);
    return digest;
}

// A blocker over a /proc of its own, the signals it sends recorded instead of sent.
struct Blocker {
    QTemporaryDir root;
    QList<QPair<pid_t, int>> sent;
    ProgramBlocker blocker{[this](pid_t pid, int signal) {
                               sent.append({pid, signal});
                               return true;
                           },
                           1000, ProcessTable(root.path()), 1};
};

void copyWith(const QString& from, const QString& to, const QByteArray& appended) {
    QFile::copy(from, to);
    QFile file(to);
    if (file.open(QIODevice::Append))
        file.write(appended);
    file.setPermissions(file.permissions() | QFile::ExeOwner);
}

} // namespace

Q_DECLARE_METATYPE(FakeProcess)
Q_DECLARE_METATYPE(ProcessInfo)
Q_DECLARE_METATYPE(Problem)

// What the agent reads of the user's processes and the files they run, from /proc and the disk, what it
// concludes (which entry a process matches, which file an interpreter runs, whether a program is installed)
// and what the blocker does with it.
class TestProcesses : public QObject {
    Q_OBJECT

    QTemporaryDir m_proc;
    QHash<QByteArray, Status> m_files; // a file system, by path as a process sees it

    // Links of the fake /proc stand for the files they name; "PID/root" for the process's /.
    std::optional<Status> fakeStat(const QByteArray& path) {
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
    void match_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<ProcessInfo>("process");
        QTest::addColumn<QString>("matched");
        // entries separated by '|'; comm, executable's name, argv[0]
        const auto row = [](const char* name, const char* entries, const char* comm, const char* exe,
                            const char* argv0, const char* matched, uid_t uid = 1000, char state = 'S',
                            pid_t pid = 4000) {
            QTest::newRow(name) << QString::fromUtf8(entries).split(u'|')
                                << ProcessInfo{pid,
                                               uid,
                                               1,
                                               state,
                                               QString::fromUtf8(comm),
                                               QString::fromUtf8(exe),
                                               QString::fromUtf8(argv0)}
                                << QString::fromUtf8(matched);
        };
        const char* games = "Firefox|steam";
        row("executable, other case", games, "x", "firefox", "y", "Firefox");
        row("Windows name", "Steam.EXE", "steam", "steam", "", "Steam.EXE");
        row("argv0 only", games, "x", "y", "STEAM", "steam");
        row("comm alone is never compared", games, "Steam", "", "", "");
        row("similar name", games, "firefox-esr", "firefox-esr", "firefox-esr", "");
        row("entry trimmed", "  steam \t", "steam", "steam", "", "steam");
        row("entry with a Windows path", "C:\\Games\\Steam.exe", "x", "steam", "", "C:\\Games\\Steam.exe");
        row("entry with blanks", "Super Game", "x", "", "super game", "Super Game");
        row("blank entries match nothing", "|   |.exe|/usr/games/", "", "", "", "");
        row("system user", games, "steam", "steam", "steam", "", 999);
        row("the agent itself", games, "steam", "steam", "steam", "", 1000, 'S', kOwnPid);
        row("zombie", games, "steam", "", "", "", 1000, 'Z');
    }
    void match() {
        QFETCH(QStringList, entries);
        QFETCH(ProcessInfo, process);
        QFETCH(QString, matched);
        QCOMPARE(ProcessMatcher(entries, 1000, kOwnPid).match(process), matched);
    }

    void read_data() {
        QTest::addColumn<FakeProcess>("process");
        QTest::addColumn<ProcessInfo>("expected");
        QTest::newRow("name with blanks and parentheses, replaced executable")
            << FakeProcess{101, 1000, 7, "a) b (c", "/tmp/game (deleted)", QByteArray("./game\0", 7), 'R'}
            << ProcessInfo{101, 1000,           7,    'R',          u"a) b (c"_s, u"game"_s, u"game"_s,
                           1,   u"/tmp/game"_s, true, {u"./game"_s}};
        const QByteArray longLine =
            QByteArray("python3\0", 8) + QByteArray(5000, '-') + QByteArray("\0quiz\0", 6);
        const QStringList longArguments{u"python3"_s, QString(5000, u'-'), u"quiz"_s};
        QTest::newRow("memfd, command line longer than one read")
            << FakeProcess{104, 1000, 9, "3", "/memfd:game (deleted)", longLine}
            << ProcessInfo{
                   104,  1000,         9, 'S', u"3"_s, u"memfd:game"_s, u"python3"_s, 1, u"/memfd:game"_s,
                   true, longArguments};
        QTest::newRow("zombie without executable")
            << FakeProcess{103, 1000, 9, "game", "", "", 'Z'}
            << ProcessInfo{103, 1000, 9, 'Z', u"game"_s, {}, {}, 1, {}, false, {}};
    }
    void read() {
        QFETCH(FakeProcess, process);
        QFETCH(ProcessInfo, expected);
        QTemporaryDir root;
        writeFakeProcess(root.path(), process);
        const std::optional<ProcessInfo> info = ProcessTable(root.path()).read(process.pid);
        QVERIFY(info);
        QCOMPARE(*info, expected);
    }

    void notRead_data() {
        QTest::addColumn<QByteArray>("stat"); // "ended": the process's folder gone; empty: left as written
        QTest::addColumn<uint>("uid");
        QTest::newRow("ended") << "ended"_ba << 1000u;
        QTest::newRow("stat cut short") << "300 (game) S 1 2 3\n"_ba << 1000u;
        QTest::newRow("below the lowest uid asked") << QByteArray() << 999u;
    }
    void notRead() {
        QFETCH(QByteArray, stat);
        QFETCH(uint, uid);
        QTemporaryDir root;
        writeFakeProcess(root.path(), {300, uid, 5, "game", "/usr/games/game", "game"});
        if (stat == "ended")
            QDir(root.filePath(u"300"_s)).removeRecursively();
        else if (!stat.isEmpty())
            writeFile(root.filePath(u"300/stat"_s), stat);
        // Only the uid's row is there for whoever asks for any uid.
        QCOMPARE(bool(ProcessTable(root.path()).read(300)), stat.isEmpty());
        QVERIFY(!ProcessTable(root.path()).read(300, 1000));
    }

    // The changed file never has the original's digest, and none when it is refused.
    void digest_data() {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QByteArray>("changed");
        QTest::addColumn<Problem>("problem");
        QTest::addColumn<qint64>("limit");
        const auto row = [](const char* name, const QByteArray& original, const QByteArray& changed,
                            Problem problem = Problem::None, qint64 limit = ExecutableImage::kSizeLimit) {
            QTest::newRow(name) << original << changed << problem << limit;
        };
        const QByteArray elf = contents(u"/bin/true"_s);
        QVERIFY(elf.startsWith("\x7f"
                               "ELF"));
        QByteArray inSegment = elf;
        inSegment[int(elf.size() / 2)] = char(inSegment.at(elf.size() / 2) ^ 1);
        const QByteArray script("#!/bin/sh\necho quiz\n");
        row("byte changed in a segment", elf, inSegment);
        row("truncated ELF", elf, elf.left(elf.size() / 2), Problem::Malformed);
        row("ELF header cut short", elf, elf.left(20), Problem::Malformed);
        row("no program headers", elf, elf.left(64), Problem::Malformed);
        row("script with a line more", script, script + "ls\n");
        row("segments over the limit", elf, elf, Problem::TooLarge, 1024);
        row("script over the limit", script, script, Problem::TooLarge, 8);
    }
    void digest() {
        QFETCH(QByteArray, original);
        QFETCH(QByteArray, changed);
        QFETCH(Problem, problem);
        QFETCH(qint64, limit);
        QTemporaryDir dir;
        Problem originalProblem = Problem::None;
        const QByteArray first =
            digestOf(dir.filePath(u"game"_s), original, originalProblem, ExecutableImage::kSizeLimit);
        QCOMPARE(first.size(), 32);
        Problem changedProblem = Problem::None;
        const QByteArray second = digestOf(dir.filePath(u"homework"_s), changed, changedProblem, limit);
        QCOMPARE(changedProblem, problem);
        QCOMPARE(second.isEmpty(), problem != Problem::None);
        QVERIFY(first != second);
    }

    void program_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("commandLine"); // arguments separated by '|'
        QTest::addColumn<QString>("program");     // empty: none
        const auto row = [](const char* executable, const char* commandLine, const char* program) {
            QTest::addRow("%s: %s", executable, commandLine)
                << QString::fromUtf8(executable) << QString::fromUtf8(commandLine)
                << QString::fromUtf8(program);
        };
        row("python3.11", "python3|quiz", "quiz");
        row("python3", "python3|-u|-W|ignore|-X|dev|./quiz|--help", "./quiz");
        row("python3", "python3|-uWignore|quiz", "quiz");
        row("python3", "python3|-Bc|import quiz", "");
        row("python3", "python3|-", "");
        row("python3", "python3|--|-quiz", "-quiz");
        row("python3", "python3", "");
        row("perl", "perl|-I|lib|-Mstrict|-w|quiz.pl", "quiz.pl");
        row("ruby3.1", "ruby|-r|json|-I|lib|quiz.rb", "quiz.rb");
        row("node", "node|--require|x|--title=t|quiz.js", "quiz.js");
        row("bash", "bash|-x|-o|pipefail|+o|posix|quiz", "quiz");
        row("dash", "sh|-ec|quiz", "");
        row("java", "java|-cp|lib|-Xmx1g|-jar|quiz.jar|-jar", "quiz.jar");
        row("java", "java|-cp|lib|Quiz|-jar|quiz.jar", "");
        row("ld-linux-x86-64.so.2", "/lib64/ld-linux-x86-64.so.2|--preload|x.so|--inhibit-cache|./game|-v",
            "./game");
        row("ld-linux-x86-64.so.2", "/lib64/ld-linux-x86-64.so.2|--list|./game", "");
        row("pythonic", "pythonic|quiz", "");
    }
    void program() {
        QFETCH(QString, executable);
        QFETCH(QString, commandLine);
        QFETCH(QString, program);
        const QStringList arguments = commandLine.split(u'|');
        const std::optional<qsizetype> index = InterpreterArguments::programIndex(executable, arguments);
        QCOMPARE(index ? arguments.at(*index) : QString(), program);
    }

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
        row("upgraded while running", 1000, "/usr/bin/app (deleted)", "", libs, "");
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

    void uidMinFromText_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<uint>("uidMin");
        QTest::newRow("plain") << QByteArray("MAIL_DIR /var/mail\nUID_MIN\t\t\t  500\nUID_MAX 60000\n")
                               << 500u;
        QTest::newRow("commented out") << QByteArray("#UID_MIN 500\n# UID_MIN 600\n") << 1000u;
        QTest::newRow("zero") << QByteArray("UID_MIN 0\n") << 1000u;
        QTest::newRow("other key") << QByteArray("SYS_UID_MIN 100\nUID_MINIMUM 7\n") << 1000u;
        QTest::newRow("hexadecimal") << QByteArray("UID_MIN 0x5DC\n") << 1500u;
        QTest::newRow("quoted") << QByteArray("UID_MIN \"1200\"\n") << 1200u;
        QTest::newRow("bad later line keeps earlier") << QByteArray("UID_MIN 500\nUID_MIN x\n") << 500u;
    }
    void uidMinFromText() {
        QFETCH(QByteArray, text);
        QFETCH(uint, uidMin);
        QCOMPARE(uint(LoginDefs::uidMinFromText(text)), uidMin);
    }

    void endsBlockedProcessAtOnce_data() {
        QTest::addColumn<QByteArray>("exe");
        QTest::addColumn<QByteArray>("cmdline"); // arguments separated by '|'
        QTest::addColumn<uid_t>("uid");
        QTest::addColumn<QString>("gameAlsoInstalled"); // under a name not blocked
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* name, const QByteArray& exe, const QByteArray& cmdline, uid_t uid,
                            const QString& gameAlsoInstalled, const QString& reason) {
            QTest::newRow(name) << exe << cmdline << uid << gameAlsoInstalled << reason;
        };
        row("interpreter, script in a memfd", "/usr/bin/python3", "python3|/dev/fd/3", 1000, {}, u"quiz"_s);
        row("code given with -c", "/usr/bin/python3", "python3|-c|quiz", 1000, {}, {});
        row("installed under a name not blocked", "home/homework", "homework", 1000, u"hard link"_s, {});
        row("linked to from a name not blocked", "home/homework", "homework", 1000, u"symbolic link"_s, {});
        row("root", "home/homework", "supertuxkart", 0, {}, {});
    }
    void endsBlockedProcessAtOnce() {
        QFETCH(QByteArray, exe);
        QFETCH(QByteArray, cmdline);
        QFETCH(uid_t, uid);
        QFETCH(QString, gameAlsoInstalled);
        QFETCH(QString, reason);
        Blocker lab;
        const QTemporaryDir& root = lab.root;
        QVERIFY(QDir(root.path()).mkpath(u"bin"_s) && QDir(root.path()).mkpath(u"home"_s));
        const QString bin = root.filePath(u"bin"_s);
        copyWith(u"/bin/true"_s, bin + u"/supertuxkart"_s, {});
        const QString game = bin + u"/supertuxkart"_s;
        if (gameAlsoInstalled == u"hard link"_s)
            QVERIFY(::link(QFile::encodeName(game), QFile::encodeName(bin + u"/launcher"_s)) == 0);
        else if (gameAlsoInstalled == u"symbolic link"_s)
            QVERIFY(QFile::link(game, bin + u"/launcher"_s));
        writeFile(bin + u"/quiz"_s, "#!/usr/bin/python3\nprint('2 + 2?')\n");
        QFile::setPermissions(bin + u"/quiz"_s, QFile::ReadOwner | QFile::ExeOwner);
        copyWith(u"/bin/true"_s, root.filePath(u"home/homework"_s), "padding");
        QFile::copy(bin + u"/quiz"_s, root.filePath(u"home/answers"_s));

        ProgramBlocker& blocker = lab.blocker;
        blocker.setProgramFolders({bin});
        QSignalSpy ended(&blocker, &ProgramBlocker::programEnded);
        const QByteArray exePath =
            exe.startsWith('/') ? exe : QFile::encodeName(root.filePath(QString::fromUtf8(exe)));
        writeFakeProcess(root.path(), {4000, uid, 50, "x", exePath, cmdline.replace('|', '\0') + '\0'});
        QVERIFY(QDir(root.path()).mkpath(u"4000/fd"_s));
        QVERIFY(QFile::link(root.filePath(u"home/answers"_s), root.filePath(u"4000/fd/3"_s)));
        blocker.setBlockList({u"bzflag"_s, u"SuperTuxKart"_s, u"quiz"_s});
        blocker.scan();

        const QList<QPair<pid_t, int>> expected =
            reason.isEmpty() ? QList<QPair<pid_t, int>>() : QList<QPair<pid_t, int>>{{4000, SIGKILL}};
        QCOMPARE(lab.sent, expected);
        QCOMPARE(ended.size(), expected.size());
        if (!reason.isEmpty())
            QCOMPARE(ended.first(), (QList<QVariant>{QVariant::fromValue(uid), reason}));
    }

    void unreadableExecutableReportedOnce() {
        Blocker lab;
        const QTemporaryDir& root = lab.root;
        lab.blocker.setProgramFolders({u"/bin"_s});
        // A link that leads nowhere stands for an executable that cannot be opened.
        const QByteArray loop = QFile::encodeName(root.filePath(u"loop"_s));
        QVERIFY(QFile::link(root.filePath(u"loop"_s), root.filePath(u"loop"_s)));
        writeFakeProcess(root.path(), {4000, 1000, 50, "game", loop, "game"});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Cannot read .*/4000/exe of process 4000"_s));
        QTest::failOnWarning(QRegularExpression(u"Cannot read"_s));
        lab.blocker.setBlockList({u"true"_s});
        lab.blocker.scan();
        QVERIFY(lab.sent.isEmpty());
    }

    // Where fork events arrive; the scan's way is shown end to end.
    void endsForksOfEndedProcess() {
        Blocker lab;
        const QString root = lab.root.path();
        ProgramBlocker& blocker = lab.blocker;
        blocker.setProgramFolders({});
        const FakeProcess game{4000, 1000, 50, "supertuxkart", "/usr/games/supertuxkart", "supertuxkart"};
        // Forked by the game, and a fork elsewhere: only the first is ended.
        const FakeProcess fork{4001, 1000, 51, "sh", "/usr/bin/dash", "sh", 'S', game.pid};
        const FakeProcess other{4002, 1000, 52, "sh", "/usr/bin/dash", "sh", 'S', 4003};
        writeFakeProcess(root, game);
        blocker.setBlockList({u"SuperTuxKart"_s});
        writeFakeProcess(root, fork);
        writeFakeProcess(root, other);
        blocker.checkFork(game.pid, fork.pid);
        blocker.checkFork(4003, other.pid);
        QCOMPARE(lab.sent, (QList<QPair<pid_t, int>>{{game.pid, SIGKILL}, {fork.pid, SIGKILL}}));
    }
};

QTEST_GUILESS_MAIN(TestProcesses)
#include "tst_processes.moc"
