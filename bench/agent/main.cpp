// kestrava-bench-agent: kestrava-agent in the network lab of the agent tests (tests/netns), driven by the
// console's core in this process. Prints key=value lines on standard output; see bench/README.md.
//   --rounds N        rounds of each timing (20)
//   --idle-seconds S  length of the idle measurement (30)
//   --tls             the agent pins the console's key and connects to its authenticated port
//   --stall-rounds N  rounds of the timing while the student's session bus stalls (5)
//   --crowd N         user processes of the student during the crowd measurement (10000)
//   --load-seconds S  length of each measurement under load: the crowd, the fork storm (20)
#include "BenchClock.h"
#include "LabAgent.h"
#include "LabConsole.h"
#include "NetLab.h"
#include "NetProbe.h"
#include "StallingBus.h"
#include "core/platform/EventDispatcher.h"
#include "tls/Fingerprint.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

using kestrava::bench::nowNs;

namespace {

void say(const char* key, double value) {
    std::printf("%s=%.1f\n", key, value);
    std::fflush(stdout);
}

int fail(const char* what, const LabAgent* agent = nullptr) {
    std::fprintf(stderr, "kestrava-bench-agent: %s\n", what);
    if (agent)
        std::fprintf(stderr, "kestrava-agent's standard error:\n%s\n", agent->log().constData());
    return 1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Inside the pc namespace: connects again and again, 2 ms apart, and prints "ready" after the first
// success and "dropped <ns>" with the start of the first attempt that failed.
int watchUntilDropped(const char* host, const char* port) {
    bool ready = false;
    const qint64 end = nowNs() + 60'000'000'000;
    while (nowNs() < end) {
        const qint64 start = nowNs();
        if (NetProbe::connectOnce(host, port, 50) != 0) {
            if (ready)
                std::printf("dropped %lld\n", static_cast<long long>(start));
            return ready ? 0 : 1;
        }
        if (!ready)
            std::puts("ready");
        std::fflush(stdout);
        ready = true;
        const timespec pause{0, 2'000'000};
        ::nanosleep(&pause, nullptr);
    }
    return 1;
}

// Runs the event loop until process ends or timeoutMs pass; the time it ended, 0 on time-out.
qint64 endOf(QProcess& process, int timeoutMs) {
    qint64 ended = 0;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        ended = nowNs();
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    return ended;
}

// Milliseconds from the console's "internet off" to the first connection the agent refused; beforeOrder
// runs once the watcher is ready and must succeed.
double ruleRound(NetLab& lab, LabConsole& console, const std::function<bool()>& beforeOrder = {},
                 int timeoutMs = 10000) {
    if (!console.setInternetReported(true))
        return -1;
    QProcess watch;
    if (!lab.startInPcAs(watch, QCoreApplication::applicationFilePath(),
                         {QStringLiteral("--watch"), NetLab::kWeb, QStringLiteral("80")}, 0) ||
        !QTest::qWaitFor([&] { return watch.canReadLine() || watch.state() == QProcess::NotRunning; },
                         5000) ||
        watch.readLine().trimmed() != "ready" || (beforeOrder && !beforeOrder()))
        return -1;
    const qsizetype mark = console.reports().size();
    const qint64 sent = nowNs();
    console.setInternet(false);
    endOf(watch, timeoutMs);
    const QByteArray line = watch.readLine().trimmed();
    if (!line.startsWith("dropped ") || !console.waitForReport(mark, QStringLiteral("IF")))
        return -1;
    return double(line.mid(8).toLongLong() - sent) / 1e6;
}

// Milliseconds from the start of a blocked program to its end.
double blockRound(NetLab& lab, const QString& program, long processes = NetLab::kStudentProcesses) {
    // A random pause first: rounds that follow each other at once would all start at the same point
    // of a periodic scan.
    QTest::qWait(QRandomGenerator::global()->bounded(2000));
    QProcess blocked;
    const qint64 started = nowNs();
    if (!lab.startInPcAs(blocked, program, {QStringLiteral("600")}, NetLab::kStudent, processes))
        return -1;
    const qint64 ended = endOf(blocked, 10000);
    return ended ? double(ended - started) / 1e6 : -1;
}

// The same while the student's session bus accepts and never answers, right after the agent ended a
// blocked program of theirs, whose notification goes to that bus. The bus appears once internet is on:
// the notice of that change would meet it too.
double stalledRuleRound(NetLab& lab, LabConsole& console, const QString& program) {
    StallingBus bus;
    const auto stall = [&] {
        QProcess blocked;
        return bus.listen(lab.pcPath(QStringLiteral("/run/user/%1/bus").arg(NetLab::kStudent)),
                          NetLab::kStudent)
                   .isEmpty() &&
               lab.startInPcAs(blocked, program, {QStringLiteral("600")}, NetLab::kStudent) &&
               endOf(blocked, 10000) != 0;
    };
    // A stalled agent may hold the order for as long as its bus does.
    return ruleRound(lab, console, stall, 60000);
}

qint64 statusValue(const QString& file, const QByteArray& key) {
    QFile status(file);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').first().toLongLong();
    return 0;
}

// utime + stime of all threads, in clock ticks.
qint64 cpuTicks(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which may hold blanks: state is the first, utime the 12th.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : 0;
}

// Voluntary context switches of all threads: how often it woke up from waiting.
qint64 wakeUps(qint64 pid) {
    qint64 total = 0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        total += statusValue(tasks + QLatin1Char('/') + task + QStringLiteral("/status"),
                             "voluntary_ctxt_switches");
    return total;
}

// Inside the pc as the student: count processes of /bin/sleep, each ending with this one; prints "ready"
// once all run.
int crowd(const char* count) {
    const long processes = std::atol(count);
    for (long made = 0; made < processes; ++made) {
        const pid_t child = ::fork();
        if (child < 0)
            return 1;
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::execl("/bin/sleep", "sleep", "3600", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    std::puts("ready");
    std::fflush(stdout);
    for (;;)
        ::pause();
}

// The agent's CPU time over seconds of the event loop, as a percentage of one core.
double cpuPercent(qint64 agentPid, int seconds) {
    const qint64 ticks = cpuTicks(agentPid);
    QTest::qWait(seconds * 1000);
    return double(cpuTicks(agentPid) - ticks) * 100.0 / double(::sysconf(_SC_CLK_TCK)) / seconds;
}

// A program of the lab's folders, root's there; false when it cannot be placed.
bool install(const NetLab& lab, const QString& path, const QByteArray& data) {
    QFile file(lab.pcPath(path));
    return !data.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(data) == data.size() &&
           file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                               QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char* argv[]) {
    if (const std::optional<int> probed = NetProbe::runFromArguments(argc, argv))
        return *probed;
    if (argc == 4 && std::strcmp(argv[1], "--watch") == 0)
        return watchUntilDropped(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--sleepers") == 0)
        return crowd(argv[2]);
    const QString unavailable = NetLab::enterLan();
    kestrava::installEventDispatcher();
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("rounds"), QStringLiteral("Rounds of each timing."), QStringLiteral("n"),
                      QStringLiteral("20")});
    parser.addOption({QStringLiteral("idle-seconds"), QStringLiteral("Length of the idle measurement."),
                      QStringLiteral("s"), QStringLiteral("30")});
    parser.addOption({QStringLiteral("tls"), QStringLiteral("Pin the console's key: TLS only.")});
    parser.addOption({QStringLiteral("stall-rounds"), QStringLiteral("Rounds while the session bus stalls."),
                      QStringLiteral("n"), QStringLiteral("5")});
    parser.addOption({QStringLiteral("crowd"), QStringLiteral("User processes of the crowd measurement."),
                      QStringLiteral("n"), QStringLiteral("10000")});
    parser.addOption({QStringLiteral("load-seconds"),
                      QStringLiteral("Length of each measurement under load."), QStringLiteral("s"),
                      QStringLiteral("20")});
    parser.process(app);
    const bool tls = parser.isSet(QStringLiteral("tls"));
    const int rounds = std::max(1, parser.value(QStringLiteral("rounds")).toInt());
    const int stallRounds = std::max(1, parser.value(QStringLiteral("stall-rounds")).toInt());
    const int idleSeconds = std::max(1, parser.value(QStringLiteral("idle-seconds")).toInt());
    const int crowdSize = std::max(1, parser.value(QStringLiteral("crowd")).toInt());
    const int loadSeconds = std::max(1, parser.value(QStringLiteral("load-seconds")).toInt());

    NetLab lab(unavailable);
    if (!lab.unavailable().isEmpty() || !lab.error().isEmpty())
        return fail(qPrintable(lab.unavailable() + lab.error()));
    LabConsole console(QDateTime::currentDateTime());
    if (!(tls ? console.listenSecure() : console.listen()))
        return fail("the console cannot listen");
    LabAgent agent(lab, LabConsole::kPort);
    if (tls)
        agent.setExtraArguments({QStringLiteral("--console-fingerprint"),
                                 kestrava::Fingerprint::text(console.identity().certificate)});
    const qint64 started = nowNs();
    if (!agent.start() ||
        !QTest::qWaitFor(
            [&] { return console.isConnected(LabAgent::systemKey()) && !console.reports().isEmpty(); },
            60000))
        return fail("the agent did not connect and report", &agent);
    say("start_to_report_ms", double(nowNs() - started) / 1e6);

    std::vector<double> rule;
    for (int round = 0; round < rounds; ++round) {
        const double ms = ruleRound(lab, console);
        if (ms < 0)
            return fail("a rule round did not end", &agent);
        rule.push_back(ms);
    }
    say("rule_in_force_ms_median", median(rule));
    say("rule_in_force_ms_max", *std::max_element(rule.begin(), rule.end()));

    const QString program = lab.copyOfSleep(QStringLiteral("blockme"));
    console.blockProgram(QStringLiteral("blockme"));
    // A first round that is not counted: by its end the list has arrived.
    if (blockRound(lab, program) < 0)
        return fail("a blocked program kept running", &agent);
    std::vector<double> block;
    for (int round = 0; round < rounds; ++round) {
        const double ms = blockRound(lab, program);
        if (ms < 0)
            return fail("a blocked program kept running", &agent);
        block.push_back(ms);
    }
    say("blocked_exec_to_end_ms_median", median(block));
    say("blocked_exec_to_end_ms_max", *std::max_element(block.begin(), block.end()));

    // By content: the student's renamed copy of an installed program that is blocked, and for the fork
    // storm a perl of its own content (perl's own is reached under names that are not blocked).
    const QString games = QStringLiteral("/usr/local/games/");
    const QString copy = QStringLiteral("/tmp/homework");
    const QByteArray game =
        contents(QCoreApplication::applicationDirPath() + QStringLiteral("/kestrava-lab-game"));
    if (!install(lab, games + QStringLiteral("labgame"), game) || !install(lab, copy, game) ||
        !install(lab, games + QStringLiteral("labperl"),
                 contents(QStringLiteral("/usr/bin/perl")).replace("panic: ", "panik: ")))
        return fail("cannot place the blocked programs");
    console.blockProgram(QStringLiteral("labgame"));
    console.blockProgram(QStringLiteral("labperl"));
    if (blockRound(lab, copy) < 0)
        return fail("a renamed copy of a blocked program kept running", &agent);
    std::vector<double> byContent;
    for (int round = 0; round < rounds; ++round) {
        const double ms = blockRound(lab, copy);
        if (ms < 0)
            return fail("a renamed copy of a blocked program kept running", &agent);
        byContent.push_back(ms);
    }
    say("blocked_copy_exec_to_end_ms_median", median(byContent));
    say("blocked_copy_exec_to_end_ms_max", *std::max_element(byContent.begin(), byContent.end()));

    std::vector<double> stalled;
    for (int round = 0; round < stallRounds; ++round) {
        const double ms = stalledRuleRound(lab, console, program);
        if (ms < 0)
            return fail("a rule round with a stalled session bus did not end within 60 s", &agent);
        stalled.push_back(ms);
    }
    say("rule_in_force_bus_stalled_ms_median", median(stalled));
    say("rule_in_force_bus_stalled_ms_max", *std::max_element(stalled.begin(), stalled.end()));

    const QString status = QStringLiteral("/proc/%1/status").arg(agent.pid());
    say("agent_rss_kib", double(statusValue(status, "VmRSS")));
    const QString rollup = QStringLiteral("/proc/%1/smaps_rollup").arg(agent.pid());
    say("agent_private_kib",
        double(statusValue(rollup, "Private_Clean") + statusValue(rollup, "Private_Dirty")));
    const qint64 ticks = cpuTicks(agent.pid());
    const qint64 wakes = wakeUps(agent.pid());
    QTest::qWait(idleSeconds * 1000);
    const double cpuMs = double(cpuTicks(agent.pid()) - ticks) * 1000.0 / double(::sysconf(_SC_CLK_TCK));
    say("idle_cpu_ms", cpuMs);
    say("idle_cpu_percent", cpuMs / (idleSeconds * 10.0));
    say("idle_wakeups_per_s", double(wakeUps(agent.pid()) - wakes) / idleSeconds);
    say("agent_rss_kib_after", double(statusValue(status, "VmRSS")));

    // The student's crowd of sleeping processes, which every scan reads.
    const long crowdLimit = crowdSize + NetLab::kStudentProcesses;
    QProcess sleepers;
    if (!lab.startInPcAs(sleepers, QCoreApplication::applicationFilePath(),
                         {QStringLiteral("--sleepers"), QString::number(crowdSize)}, NetLab::kStudent,
                         crowdLimit) ||
        !QTest::qWaitFor([&] { return sleepers.canReadLine() || sleepers.state() == QProcess::NotRunning; },
                         300000) ||
        sleepers.readLine().trimmed() != "ready")
        return fail("the crowd of user processes did not start");
    say("crowd_processes", crowdSize);
    say("crowd_cpu_percent", cpuPercent(agent.pid(), loadSeconds));
    say("crowd_agent_rss_kib", double(statusValue(status, "VmRSS")));
    std::vector<double> crowded;
    for (int round = 0; round < stallRounds; ++round) {
        const double ms = blockRound(lab, copy, crowdLimit);
        if (ms < 0)
            return fail("a renamed copy of a blocked program kept running among the crowd", &agent);
        crowded.push_back(ms);
    }
    say("crowd_blocked_copy_exec_to_end_ms_median", median(crowded));
    say("crowd_blocked_copy_exec_to_end_ms_max", *std::max_element(crowded.begin(), crowded.end()));
    sleepers.kill();
    const QString studentProcesses = QStringLiteral("pgrep -u %1").arg(NetLab::kStudent);
    bool left = true;
    if (!QTest::qWaitFor(
            [&] {
                lab.inPc(studentProcesses, &left);
                return !left;
            },
            60000))
        return fail("the crowd did not end");

    // A blocked program forking as fast as it can, up to the student's process limit, again and again;
    // its forks end at once and are reaped by the kernel.
    const qint64 stormTicks = cpuTicks(agent.pid());
    const qint64 stormStart = nowNs();
    std::vector<double> storms;
    int endedByAgent = 0;
    while (nowNs() - stormStart < qint64(loadSeconds) * 1'000'000'000) {
        QProcess storm;
        const qint64 started = nowNs();
        if (!lab.startInPcAs(
                storm, games + QStringLiteral("labperl"),
                {QStringLiteral("-e"),
                 QStringLiteral("$SIG{CHLD}='IGNORE';while(1){my $p=fork;exit 0 if defined $p && !$p}")},
                NetLab::kStudent))
            return fail("the fork storm did not start");
        const qint64 ended = endOf(storm, 10000);
        if (!ended)
            return fail("a fork storm of a blocked program kept running", &agent);
        storms.push_back(double(ended - started) / 1e6);
        endedByAgent += storm.exitStatus() == QProcess::CrashExit ? 1 : 0;
    }
    const double stormSeconds = double(nowNs() - stormStart) / 1e9;
    say("storm_rounds", double(storms.size()));
    say("storm_rounds_killed", endedByAgent);
    say("storm_exec_to_end_ms_median", median(storms));
    say("storm_exec_to_end_ms_max", *std::max_element(storms.begin(), storms.end()));
    say("storm_cpu_percent",
        double(cpuTicks(agent.pid()) - stormTicks) * 100.0 / double(::sysconf(_SC_CLK_TCK)) / stormSeconds);
    return 0;
}
