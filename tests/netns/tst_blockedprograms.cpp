#include "LabAgent.h"
#include "LabConsole.h"
#include "NetLab.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {
// Inside a network namespace no exec or fork event reaches the agent: its 2 s scan is the bound.
constexpr int kScanBoundMs = 6000;
const QString kGames = u"/usr/local/games/"_s;
const QString kLoader = u"/lib64/ld-linux-x86-64.so.2"_s;
const QString kPerl = u"/usr/bin/perl"_s;
const QByteArray kInstalled = "[agent]\nuser_programs = installed\n";
// The file named first, copied into a memfd and run from there with the other arguments.
const QString kMemfdRun =
    uR"($^F=99;open(F,'<',shift)||die;$n='g';$fd=syscall(319,$n,0);open(M,'>&=',$fd)||die;)"
    uR"(local $/;syswrite(M,<F>);exec {"/proc/self/fd/$fd"} 'g',@ARGV;die)"_s;
} // namespace

// The pc's student starting blocked programs in every way but by their listed names and, in the
// exam-room setting, programs of their own; the agent in the pc ends those, and nothing else.
class TestBlockedPrograms : public QObject {
    Q_OBJECT
public:
    explicit TestBlockedPrograms(NetLab& lab)
        : m_lab(lab) {}

private slots:
    void initTestCase() {
        LAB_AGENT_READY(m_lab);
        for (const QString& program : {kLoader, kPerl})
            QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
        const QByteArray game = contents(QCoreApplication::applicationDirPath() + u"/kestrava-lab-game"_s);
        const QByteArray sleep = contents(u"/bin/sleep"_s);
        const QByteArray quiz = "#!/bin/sh\nread answer\n";
        // Root's, where the agent resolves entries: the pc's own /usr/local/games, on a file system
        // without nosuid (which marks removable media). A shell of its own content: dash's is reached
        // under names that are not blocked.
        bool mounted = false;
        m_lab.inPc(u"mount -t tmpfs -o mode=0755 kvl-games "_s + kGames, &mounted);
        QVERIFY(mounted);
        const QString home = u"/tmp/"_s;
        QVERIFY(place(kGames + u"labgame"_s, game, 0) && place(kGames + u"labquiz"_s, quiz, 0) &&
                place(kGames + u"labshell"_s,
                      contents(u"/bin/dash"_s).replace("Syntax error", "Syntax fault"), 0));
        // The student's own files, in their home.
        QVERIFY(place(home + u"homework"_s, game) &&
                place(home + u"padded"_s, game + QByteArray(4096, 'x')) && place(home + u"notes"_s, quiz) &&
                place(home + u"lesson"_s, "#!/bin/sh\nread lesson\n") &&
                place(home + u"mysleep"_s, QByteArray(sleep).replace("Usage", "Usagf")));
        m_console = std::make_unique<LabConsole>(QDateTime::currentDateTime());
        QVERIFY(m_console->listen());
        for (const QString& program : {u"labgame"_s, u"labquiz"_s, u"labshell"_s})
            m_console->blockProgram(program);
        m_agent = std::make_unique<LabAgent>(m_lab, LabConsole::kPort);
    }

    void cleanup() {
        if (QTest::currentTestFailed() && m_agent)
            qInfo().noquote() << "kestrava-agent's standard error:\n" << m_agent->log();
        m_lab.inPc(u"pkill -KILL -u %1"_s.arg(NetLab::kStudent));
    }

    void programRun_data() {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<bool>("ended");
        const auto row = [](const char* name, const QByteArray& config, const QStringList& command,
                            bool ended) { QTest::newRow(name) << config << command << ended; };
        row("renamed copy", {}, {u"/tmp/homework"_s}, true);
        row("copy with bytes appended", {}, {u"/tmp/padded"_s}, true);
        row("loader", {}, {kLoader, u"/tmp/homework"_s}, true);
        row("memfd", {}, {kPerl, u"-e"_s, kMemfdRun, kGames + u"labgame"_s}, true);
        row("interpreter, copy by content", {}, {u"/bin/sh"_s, u"/tmp/notes"_s}, true);
        row("fork hopper", {}, {kGames + u"labshell"_s, u"-c"_s, u"sleep 600 & sleep 600 & wait"_s}, true);
        row("installed: edited copy", kInstalled, {u"/tmp/mysleep"_s, u"600"_s}, true);
        row("installed: memfd", kInstalled, {kPerl, u"-e"_s, kMemfdRun, u"/bin/sleep"_s, u"600"_s}, true);
        row("installed: installed program", kInstalled, {u"/bin/sleep"_s, u"600"_s}, false);
        row("installed: script", kInstalled, {u"/bin/sh"_s, u"/tmp/lesson"_s}, false);
    }

    void programRun() {
        QFETCH(QByteArray, config);
        QFETCH(QStringList, command);
        QFETCH(bool, ended);
        QVERIFY(agentWith(config));
        QProcess run;
        QVERIFY(m_lab.startInPcAs(run, command.first(), command.mid(1), NetLab::kStudent));
        QCOMPARE(QTest::qWaitFor([&] { return run.state() == QProcess::NotRunning; }, kScanBoundMs), ended);
        if (!ended)
            return;
        QCOMPARE(run.exitStatus(), QProcess::CrashExit);
        // Forks included: the student has nothing left.
        QTRY_VERIFY_WITH_TIMEOUT(!studentRuns(), kScanBoundMs);
    }

private:
    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool place(const QString& path, const QByteArray& data, uid_t owner = NetLab::kStudent) const {
        QFile file(m_lab.pcPath(path));
        return !data.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(data) == data.size() &&
               file.flush() && ::fchmod(file.handle(), 0755) == 0 &&
               ::fchown(file.handle(), owner, owner) == 0;
    }

    bool studentRuns() const {
        bool found = false;
        m_lab.inPc(u"pgrep -u %1"_s.arg(NetLab::kStudent), &found);
        return found;
    }

    bool agentWith(const QByteArray& config) { return m_agent->runConnected(*m_console, config, u"IN"_s); }

    NetLab& m_lab;
    std::unique_ptr<LabConsole> m_console;
    std::unique_ptr<LabAgent> m_agent;
};

NETLAB_TEST_MAIN(TestBlockedPrograms)
#include "tst_blockedprograms.moc"
