#include "Scenarios.h"

#include "BenchClock.h"
#include "BenchDatabase.h"
#include "LatencyHistogram.h"
#include "TargetProcess.h"
#include "WorkerPool.h"
#include "protocol/Identification.h"
#include "protocol/WireCodec.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kestrava::bench {

namespace {

void progress(const QString& text) {
    std::fprintf(stderr, "bench: %s\n", qPrintable(text));
}

double seconds(qint64 ns) {
    return static_cast<double>(ns) / 1e9;
}

double rounded(double value, int digits = 3) {
    const double scale = std::pow(10.0, digits);
    return std::round(value * scale) / scale;
}

// A folder with a copy of the console and its database.
struct ConsoleFolder {
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/kestrava-bench-XXXXXX")};
    quint16 port = 0;
    bool ok = false;

    ConsoleFolder(const BenchConfig& config, int groups = 1, int systems = 0, bool groupTimer = false) {
        port = pickFreePort();
        ok = dir.isValid() && port != 0 &&
             QFile::copy(config.binDir + QStringLiteral("/kestrava"),
                         dir.path() + QStringLiteral("/kestrava")) &&
             prepareDatabase(config.binDir + QStringLiteral("/kestrava-initdb"), databasePath(), port, groups,
                             systems, groupTimer);
    }
    QString databasePath() const { return dir.path() + QStringLiteral("/kestrava.tlmr"); }
};

struct Readiness {
    qint64 listeningBootNs = -1;
    qint64 answeredBootNs = -1;
};

// Connects until the console accepts, then identifies a probe system and waits for its first answer.
Readiness waitUntilAnswering(quint16 port, int timeoutMs, const TargetProcess& target) {
    Readiness ready;
    const qint64 deadline = bootNs() + qint64(timeoutMs) * 1'000'000;
    QTcpSocket probe;
    while (bootNs() < deadline && target.isRunning()) {
        probe.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (probe.waitForConnected(200))
            break;
        probe.abort();
        QThread::msleep(2);
    }
    if (probe.state() != QAbstractSocket::ConnectedState)
        return ready;
    ready.listeningBootNs = bootNs();
    probe.write(WireCodec::encodeUtf16(
        encodeIdentification({QStringLiteral("PROBE"), QStringLiteral("PROBE"), QStringLiteral("1.4")})));
    probe.flush();
    while (bootNs() < deadline) {
        if (probe.waitForReadyRead(100)) {
            ready.answeredBootNs = bootNs();
            break;
        }
    }
    return ready;
}

// xvfb-run -a can lose the race for a display number against another X server starting at that moment.
std::unique_ptr<TargetProcess> startAnsweringConsole(const ConsoleFolder& folder, Readiness* at = nullptr) {
    if (!folder.ok)
        return nullptr;
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto console = TargetProcess::startConsole(folder.dir.path());
        if (!console)
            continue;
        const Readiness ready = waitUntilAnswering(folder.port, 60'000, *console);
        if (ready.answeredBootNs < 0)
            continue;
        if (at)
            *at = ready;
        return console;
    }
    return nullptr;
}

struct StormSum {
    qint64 start = 0, connectLast = 0, doneLast = 0;
    qint64 connected = 0, done = 0, separate = 0, wrong = 0, resumed = 0;
    bool complete = true;
};

StormSum sumStorm(const std::vector<KeyValueLine>& replies) {
    StormSum sum;
    sum.start = std::numeric_limits<qint64>::max();
    for (const KeyValueLine& r : replies) {
        if (r.verb.isEmpty()) {
            sum.complete = false;
            continue;
        }
        sum.start = std::min(sum.start, r.number(QStringLiteral("start")));
        sum.connectLast = std::max(sum.connectLast, r.number(QStringLiteral("connect_last")));
        sum.doneLast = std::max(sum.doneLast, r.number(QStringLiteral("done_last")));
        sum.connected += r.number(QStringLiteral("connected"));
        sum.done += r.number(QStringLiteral("done"));
        sum.separate += r.number(QStringLiteral("separate"));
        sum.wrong += r.number(QStringLiteral("wrong"));
        sum.resumed += r.number(QStringLiteral("resumed"));
    }
    return sum;
}

int descriptorsOf(qint64 pid) {
    return static_cast<int>(
        QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::Files | QDir::System).size());
}

// Until the console has handled the closes of dropped clients.
void waitForDescriptorsBelow(const TargetProcess& target, int limit, int timeoutMs) {
    const qint64 deadline = nowNs() + qint64(timeoutMs) * 1'000'000;
    while (nowNs() < deadline && descriptorsOf(target.pid()) >= limit)
        QThread::msleep(50);
}

QJsonObject stormFigures(const StormSum& sum, int n, const QString& prefix) {
    QJsonObject figures;
    figures[prefix + QStringLiteral("_s")] = rounded(seconds(sum.doneLast - sum.start));
    figures[prefix + QStringLiteral("_complete")] = sum.complete && sum.done == n;
    figures[prefix + QStringLiteral("_answered")] = sum.done;
    figures[prefix + QStringLiteral("_separate")] = sum.separate;
    return figures;
}

struct MixFigures {
    double answersPerSecond = 0;
    double p50Ms = 0, p99Ms = 0;
    qint64 answers = 0, wrong = 0;
    bool complete = true;
};

MixFigures runMix(WorkerPool& pool, const BenchConfig& config, int thinkMs) {
    MixFigures figures;
    LatencyHistogram latency;
    const auto replies = pool.command(QStringLiteral("mix %1 %2").arg(config.mixSeconds * 1000).arg(thinkMs),
                                      QStringLiteral("mix"), config.mixSeconds * 1000 + 30'000);
    for (const KeyValueLine& r : replies) {
        if (r.verb.isEmpty()) {
            figures.complete = false;
            continue;
        }
        const qint64 span = r.number(QStringLiteral("end")) - r.number(QStringLiteral("start"));
        figures.answersPerSecond += span > 0 ? r.number(QStringLiteral("answers")) / seconds(span) : 0;
        figures.answers += r.number(QStringLiteral("answers"));
        figures.wrong += r.number(QStringLiteral("wrong"));
        latency.merge(LatencyHistogram::fromText(r.values.value(QStringLiteral("hist"))));
    }
    figures.p50Ms = static_cast<double>(latency.percentileNs(0.50)) / 1e6;
    figures.p99Ms = static_cast<double>(latency.percentileNs(0.99)) / 1e6;
    return figures;
}

} // namespace

WorkerPool::Settings poolSettings(const BenchConfig& config, quint16 port, int n, bool tls) {
    WorkerPool::Settings settings;
    settings.program = config.binDir + QStringLiteral("/kestrava-bench-load");
    settings.port = tls ? static_cast<quint16>(port + 1) : port;
    settings.tls = tls;
    settings.clients = n;
    settings.processes = config.processes;
    settings.thinkMs = config.thinkMs;
    settings.timeoutMs = config.timeoutMs;
    return settings;
}

std::unique_ptr<TargetProcess> startReference(const BenchConfig& config, quint16 port) {
    return TargetProcess::startDirect(config.binDir + QStringLiteral("/kestrava-bench-reference"),
                                      {QStringLiteral("--port"), QString::number(port),
                                       QStringLiteral("--max-seconds"), QStringLiteral("900")},
                                      QStringLiteral("listening"));
}

QJsonObject runIdentificationStorm(const BenchConfig& config, int n, bool groupTimer, bool tls) {
    QJsonObject result{{QStringLiteral("scenario"), tls ? QStringLiteral("identification_storm_tls")
                                                        : QStringLiteral("identification_storm")},
                       {QStringLiteral("n"), n},
                       {QStringLiteral("group_timer"), groupTimer}};
    ConsoleFolder folder(config, 1, 0, groupTimer);
    auto console = startAnsweringConsole(folder);
    if (!console) {
        result[QStringLiteral("error")] = QStringLiteral("console did not start");
        return result;
    }
    WorkerPool pool(poolSettings(config, folder.port, n, tls));
    progress(QStringLiteral("storm of %1 new systems").arg(n));
    // The console's own CPU time: unlike the wall times it does not move with what else runs.
    qint64 cpuBefore = console->cpuNs();
    const StormSum fresh =
        sumStorm(pool.command(QStringLiteral("storm"), QStringLiteral("storm"), config.timeoutMs + 10'000));
    const qint64 newCpuNs = console->cpuNs() - cpuBefore;
    result[QStringLiteral("new_cpu_s")] = rounded(seconds(newCpuNs));
    result[QStringLiteral("new_cpu_ms_per_client")] = rounded(seconds(newCpuNs) * 1000.0 / n, 3);
    // The console with every client of the storm connected and identified.
    result[QStringLiteral("new_rss_kib")] = console->rssKib();
    result[QStringLiteral("accepted_s")] = rounded(seconds(fresh.connectLast - fresh.start));
    result[QStringLiteral("accepted")] = fresh.connected;
    const QJsonObject freshFigures = stormFigures(fresh, n, QStringLiteral("new"));
    for (auto it = freshFigures.begin(); it != freshFigures.end(); ++it)
        result[it.key()] = it.value();
    const int baseline = descriptorsOf(console->pid()) - static_cast<int>(fresh.connected);
    pool.command(QStringLiteral("drop"), QStringLiteral("dropped"), 60'000);
    waitForDescriptorsBelow(*console, baseline + 10, 60'000);
    progress(QStringLiteral("storm of %1 known systems").arg(n));
    cpuBefore = console->cpuNs();
    const StormSum known =
        sumStorm(pool.command(QStringLiteral("storm"), QStringLiteral("storm"), config.timeoutMs + 10'000));
    const qint64 knownCpuNs = console->cpuNs() - cpuBefore;
    result[QStringLiteral("known_cpu_s")] = rounded(seconds(knownCpuNs));
    result[QStringLiteral("known_cpu_ms_per_client")] = rounded(seconds(knownCpuNs) * 1000.0 / n, 3);
    if (tls)
        result[QStringLiteral("known_resumed")] = known.resumed;
    const QJsonObject knownFigures = stormFigures(known, n, QStringLiteral("known"));
    for (auto it = knownFigures.begin(); it != knownFigures.end(); ++it)
        result[it.key()] = it.value();
    result[QStringLiteral("known_accepted_s")] = rounded(seconds(known.connectLast - known.start));
    result[QStringLiteral("console_rss_kib")] = console->rssKib();
    return result;
}

namespace {

// Four answers and a status report per round, each followed by the pause.
int pacedThinkMs(const BenchConfig& config, int n) {
    return std::max(config.thinkMs, static_cast<int>(qint64(n) * 4 * 1000 / (5 * qint64(config.pacedRate))));
}

struct MixPair {
    MixFigures saturated;
    MixFigures paced;
};

MixPair runBothMixes(WorkerPool& pool, const BenchConfig& config, int n, const QString& target) {
    MixPair pair;
    progress(QStringLiteral("request mix with %1 held by %2, as fast as the clients go").arg(n).arg(target));
    pair.saturated = runMix(pool, config, config.thinkMs);
    QThread::msleep(500);
    progress(QStringLiteral("request mix with %1 held by %2, paced at %3 answers/s")
                 .arg(n)
                 .arg(target)
                 .arg(config.pacedRate));
    pair.paced = runMix(pool, config, pacedThinkMs(config, n));
    return pair;
}

} // namespace

namespace {

// The console holding n clients over the plain or the authenticated port, through both mixes; its CPU
// figures go into result with prefix. False when it did not start.
bool mixOnConsole(const BenchConfig& config, int n, bool tls, const QString& prefix, QJsonObject& result,
                  MixPair& pair) {
    ConsoleFolder folder(config);
    auto console = startAnsweringConsole(folder);
    if (!console)
        return false;
    WorkerPool pool(poolSettings(config, folder.port, n, tls));
    const StormSum held =
        sumStorm(pool.command(QStringLiteral("storm"), QStringLiteral("storm"), config.timeoutMs + 10'000));
    result[prefix + QStringLiteral("held")] = held.done;
    QThread::msleep(500);
    const qint64 cpuBefore = console->cpuNs();
    const qint64 wallBefore = nowNs();
    pair = runBothMixes(pool, config, n,
                        tls ? QStringLiteral("the console over TLS") : QStringLiteral("the console"));
    const qint64 cpu = console->cpuNs() - cpuBefore;
    result[prefix + QStringLiteral("console_cpu_share")] =
        rounded(static_cast<double>(cpu) / static_cast<double>(nowNs() - wallBefore));
    const qint64 answers = pair.saturated.answers + pair.paced.answers;
    result[prefix + QStringLiteral("console_cpu_us_per_answer")] =
        answers > 0 ? rounded(static_cast<double>(cpu) / 1e3 / static_cast<double>(answers), 1) : 0.0;
    return true;
}

} // namespace

QJsonObject runRequestMix(const BenchConfig& config, int n, bool tls) {
    QJsonObject result{
        {QStringLiteral("scenario"), tls ? QStringLiteral("request_mix_tls") : QStringLiteral("request_mix")},
        {QStringLiteral("n"), n},
        {QStringLiteral("seconds"), config.mixSeconds},
        {QStringLiteral("think_ms"), config.thinkMs},
        {QStringLiteral("paced_think_ms"), pacedThinkMs(config, n)}};
    MixPair ours;
    if (!mixOnConsole(config, n, tls, QString(), result, ours)) {
        result[QStringLiteral("error")] = QStringLiteral("console did not start");
        return result;
    }
    // Over TLS the measure is the plain port of the same console program; plain, the epoll reference.
    const QString otherPrefix = tls ? QStringLiteral("plain_") : QStringLiteral("reference_");
    MixPair reference;
    if (tls) {
        if (!mixOnConsole(config, n, false, otherPrefix, result, reference)) {
            result[QStringLiteral("error")] = QStringLiteral("console did not start");
            return result;
        }
    } else {
        const quint16 port = pickFreePort();
        auto target = startReference(config, port);
        if (!target) {
            result[QStringLiteral("error")] = QStringLiteral("reference did not start");
            return result;
        }
        WorkerPool pool(poolSettings(config, port, n));
        pool.command(QStringLiteral("storm"), QStringLiteral("storm"), config.timeoutMs + 10'000);
        QThread::msleep(500);
        reference = runBothMixes(pool, config, n, QStringLiteral("the epoll reference"));
    }
    auto figures = [&](const QString& prefix, const MixPair& pair) {
        result[prefix + QStringLiteral("answers_per_s")] = rounded(pair.saturated.answersPerSecond, 0);
        result[prefix + QStringLiteral("saturated_p50_ms")] = rounded(pair.saturated.p50Ms, 2);
        result[prefix + QStringLiteral("saturated_p99_ms")] = rounded(pair.saturated.p99Ms, 2);
        result[prefix + QStringLiteral("paced_answers_per_s")] = rounded(pair.paced.answersPerSecond, 0);
        result[prefix + QStringLiteral("p50_ms")] = rounded(pair.paced.p50Ms, 2);
        result[prefix + QStringLiteral("p99_ms")] = rounded(pair.paced.p99Ms, 2);
    };
    figures(QString(), ours);
    figures(otherPrefix, reference);
    result[QStringLiteral("wrong")] = ours.saturated.wrong + ours.paced.wrong;
    result[QStringLiteral("throughput_ratio")] =
        reference.saturated.answersPerSecond > 0
            ? rounded(ours.saturated.answersPerSecond / reference.saturated.answersPerSecond)
            : 0.0;
    result[QStringLiteral("p99_ratio")] =
        reference.paced.p99Ms > 0 ? rounded(ours.paced.p99Ms / reference.paced.p99Ms) : 0.0;
    result[QStringLiteral("complete")] = ours.saturated.complete && ours.paced.complete &&
                                         reference.saturated.complete && reference.paced.complete;
    return result;
}

QJsonObject runBroadcast(const BenchConfig& config, int n) {
    QJsonObject result{{QStringLiteral("scenario"), QStringLiteral("broadcast")}, {QStringLiteral("n"), n}};
    ConsoleFolder folder(config);
    auto harness = folder.ok
                       ? TargetProcess::startDirect(config.binDir + QStringLiteral("/kestrava-bench-harness"),
                                                    {folder.databasePath()}, QStringLiteral("listening"))
                       : nullptr;
    if (!harness) {
        result[QStringLiteral("error")] = QStringLiteral("harness did not start");
        return result;
    }
    WorkerPool pool(poolSettings(config, folder.port, n));
    const StormSum held =
        sumStorm(pool.command(QStringLiteral("storm"), QStringLiteral("storm"), config.timeoutMs + 10'000));
    result[QStringLiteral("members")] = held.done;
    QThread::msleep(500);
    for (const QString& what : {QStringLiteral("schedule"), QStringLiteral("options")}) {
        progress(QStringLiteral("%1 to %2 connected members").arg(what).arg(n));
        KeyValueLine answer;
        const auto replies = pool.watch(what == QLatin1String("schedule") ? u'S' : u'O', 60'000, [&] {
            answer = KeyValueLine::parse(harness->request(what, what, 120'000));
        });
        qint64 last = 0, got = 0;
        for (const KeyValueLine& r : replies) {
            last = std::max(last, r.number(QStringLiteral("done_last")));
            got += r.number(QStringLiteral("done"));
        }
        const QString prefix =
            what == QLatin1String("schedule") ? QStringLiteral("schedule") : QStringLiteral("options");
        result[prefix + QStringLiteral("_last_s")] =
            rounded(seconds(last - answer.number(QStringLiteral("start"))));
        result[prefix + QStringLiteral("_hold_ms")] =
            rounded(static_cast<double>(answer.number(QStringLiteral("hold_ns"))) / 1e6, 1);
        result[prefix + QStringLiteral("_received")] = got;
        QThread::msleep(300);
    }
    return result;
}

QJsonObject runStartup(const BenchConfig& config, int systems, int groups, int repeat) {
    QJsonObject result{{QStringLiteral("scenario"), QStringLiteral("startup")},
                       {QStringLiteral("systems"), systems},
                       {QStringLiteral("groups"), groups}};
    std::vector<double> ready, listening;
    for (int i = 0; i < repeat; ++i) {
        ConsoleFolder folder(config, groups, systems);
        progress(QStringLiteral("start-up with %1 systems in %2 groups").arg(systems).arg(groups));
        Readiness at;
        auto console = startAnsweringConsole(folder, &at);
        if (!console) {
            result[QStringLiteral("error")] = QStringLiteral("console did not answer");
            return result;
        }
        ready.push_back(seconds(at.answeredBootNs - console->startBootNs()));
        listening.push_back(seconds(at.listeningBootNs - console->startBootNs()));
    }
    std::sort(ready.begin(), ready.end());
    std::sort(listening.begin(), listening.end());
    result[QStringLiteral("ready_s")] = rounded(ready[ready.size() / 2], 2);
    result[QStringLiteral("listening_s")] = rounded(listening[listening.size() / 2], 2);
    result[QStringLiteral("runs")] = repeat;
    return result;
}

QJsonObject runMemory(const BenchConfig& config, int n) {
    QJsonObject result{{QStringLiteral("scenario"), QStringLiteral("memory")}, {QStringLiteral("n"), n}};
    ConsoleFolder folder(config);
    auto console = startAnsweringConsole(folder);
    if (!console) {
        result[QStringLiteral("error")] = QStringLiteral("console did not start");
        return result;
    }
    QThread::msleep(1'000);
    const qint64 before = console->rssKib();
    WorkerPool pool(poolSettings(config, folder.port, n));
    progress(QStringLiteral("memory with %1 clients").arg(n));
    const StormSum held =
        sumStorm(pool.command(QStringLiteral("storm"), QStringLiteral("storm"), config.timeoutMs + 10'000));
    qint64 answered = 0;
    for (const KeyValueLine& r :
         pool.command(QStringLiteral("exchange"), QStringLiteral("exchange"), config.timeoutMs))
        answered += r.number(QStringLiteral("answers"));
    QThread::msleep(1'000);
    const qint64 after = console->rssKib();
    result[QStringLiteral("held")] = held.done;
    result[QStringLiteral("answers")] = answered;
    result[QStringLiteral("rss_before_kib")] = before;
    result[QStringLiteral("rss_after_kib")] = after;
    result[QStringLiteral("kib_per_client")] =
        n > 0 ? rounded(static_cast<double>(after - before) / n, 2) : 0.0;
    return result;
}

} // namespace kestrava::bench
