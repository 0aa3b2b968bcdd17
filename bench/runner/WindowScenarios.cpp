#include "WindowScenarios.h"

#include "AnswerGapProbe.h"
#include "BenchClock.h"
#include "BenchDatabase.h"
#include "KeyValueLine.h"
#include "TargetProcess.h"
#include "WorkerPool.h"
#include "core/console/Keys.h"
#include "core/store/Database.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstdio>

namespace kestrava::bench {

namespace {

void progress(const QString& text) {
    std::fprintf(stderr, "bench: %s\n", qPrintable(text));
}

double rounded(double value, int digits = 2) {
    const double scale = std::pow(10.0, digits);
    return std::round(value * scale) / scale;
}

// A copy of the console beside a database that knows the load's systems B1..Bn, directly under the
// root: the list the window shows at start holds them all. Without systems, new ones join the group
// "Bench".
struct ListedFolder {
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/kestrava-bench-XXXXXX")};
    quint16 port = pickFreePort();
    bool ok = false;

    ListedFolder(const BenchConfig& config, int systems) {
        const QString database = dir.path() + QStringLiteral("/kestrava.tlmr");
        ok = dir.isValid() && port != 0 &&
             QFile::copy(config.binDir + QStringLiteral("/kestrava"),
                         dir.path() + QStringLiteral("/kestrava")) &&
             prepareDatabase(config.binDir + QStringLiteral("/kestrava-initdb"), database, port, 1, 0) &&
             (systems == 0 || addSystems(database, systems));
    }

    static bool addSystems(const QString& path, int systems) {
        try {
            Database db;
            db.open(path);
            db.transaction([&] {
                db.exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup=''"));
                for (int s = 1; s <= systems; ++s) {
                    db.exec(
                        QStringLiteral("INSERT INTO System_Table (System_Key, System_Name, Group_ID) VALUES "
                                       "(?, ?, 0)"),
                        {Keys::Make_System_Key(QStringLiteral("B%1").arg(s), QStringLiteral("PC%1").arg(s)),
                         QStringLiteral("PC%1").arg(s)});
                }
            });
        } catch (const DatabaseError& error) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(error.toMessage()));
            return false;
        }
        return true;
    }
};

int descriptorsOf(qint64 pid) {
    return static_cast<int>(
        QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::Files | QDir::System).size());
}

bool waitUntilListening(quint16 port, const TargetProcess& target) {
    const qint64 deadline = nowNs() + 60'000'000'000LL;
    while (nowNs() < deadline && target.isRunning()) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    return false;
}

// The console's own environment: its display and home.
QProcessEnvironment environmentOf(const TargetProcess& console) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QFile environ(QStringLiteral("/proc/%1/environ").arg(console.pid()));
    if (!environ.open(QIODevice::ReadOnly))
        return env;
    for (const QByteArray& entry : environ.readAll().split('\0')) {
        const qsizetype equals = entry.indexOf('=');
        if (equals > 0)
            env.insert(QString::fromLocal8Bit(entry.left(equals)),
                       QString::fromLocal8Bit(entry.mid(equals + 1)));
    }
    return env;
}

// Calls the window up as an administrator does from a shell: a second start with the password, on the
// display and in the home of the first.
bool showWindow(const QString& folder, const TargetProcess& console) {
    const QProcessEnvironment env = environmentOf(console);
    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(folder);
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(folder + QStringLiteral("/kestrava"), {QStringLiteral("-v"), QStringLiteral("Chief")});
    if (!second.waitForFinished(20'000)) {
        second.kill();
        second.waitForFinished();
        return false;
    }
    QThread::msleep(2'000);
    return true;
}

std::unique_ptr<TargetProcess> startWithWindow(const ListedFolder& folder) {
    if (!folder.ok)
        return nullptr;
    auto console = TargetProcess::startConsole(folder.dir.path());
    if (!console || !waitUntilListening(folder.port, *console) || !showWindow(folder.dir.path(), *console))
        return nullptr;
    return console;
}

qint64 answered(const std::vector<KeyValueLine>& replies) {
    qint64 done = 0;
    for (const KeyValueLine& r : replies)
        done += r.number(QStringLiteral("done"));
    return done;
}

struct Drop {
    double holdMs = -1;
    double quietGapMs = -1;
    double seconds = -1;
};

// All clients of the pool drop at once while the probe asks; the target has handled the drop when its
// descriptors are back to what they were before the clients came.
Drop dropAll(WorkerPool& pool, const TargetProcess& target, quint16 port, int descriptorsBefore) {
    Drop drop;
    AnswerGapProbe probe;
    if (!probe.start(port))
        return drop;
    QThread::msleep(1'000);
    drop.quietGapMs = probe.longestGapMs();
    probe.resetLongest();
    const qint64 start = nowNs();
    pool.command(QStringLiteral("drop"), QStringLiteral("dropped"), 60'000);
    const int probeDescriptors = 8;
    while (nowNs() - start < 60'000'000'000LL &&
           descriptorsOf(target.pid()) > descriptorsBefore + probeDescriptors + 2)
        QThread::msleep(5);
    drop.seconds = static_cast<double>(nowNs() - start) / 1e9;
    QThread::msleep(500);
    drop.holdMs = probe.longestGapMs();
    probe.stop();
    return drop;
}

} // namespace

QJsonObject runWindowDrop(const BenchConfig& config, int n, bool tls) {
    QJsonObject result{
        {QStringLiteral("scenario"), tls ? QStringLiteral("window_drop_tls") : QStringLiteral("window_drop")},
        {QStringLiteral("n"), n}};
    qint64 emptyRss = -1;
    {
        ListedFolder empty(config, 0);
        auto console = startWithWindow(empty);
        if (!console) {
            result[QStringLiteral("error")] = QStringLiteral("console did not start");
            return result;
        }
        emptyRss = console->rssKib();
    }
    ListedFolder folder(config, n);
    progress(QStringLiteral("window with %1 listed systems").arg(n));
    auto console = startWithWindow(folder);
    if (!console) {
        result[QStringLiteral("error")] = QStringLiteral("console did not start");
        return result;
    }
    const qint64 listedRss = console->rssKib();
    const int descriptorsBefore = descriptorsOf(console->pid());
    {
        // Over TLS the clients use the authenticated port; the probe asks on the plain one all the same.
        WorkerPool pool(poolSettings(config, folder.port, n, tls));
        result[QStringLiteral("held")] = answered(
            pool.command(QStringLiteral("storm"), QStringLiteral("storm"), config.timeoutMs + 10'000));
        pool.command(QStringLiteral("exchange"), QStringLiteral("exchange"), config.timeoutMs);
        QThread::msleep(1'000);
        const qint64 connectedRss = console->rssKib();
        result[QStringLiteral("rss_empty_window_kib")] = emptyRss;
        result[QStringLiteral("rss_listed_kib")] = listedRss;
        result[QStringLiteral("rss_connected_kib")] = connectedRss;
        result[QStringLiteral("kib_per_client")] = rounded(static_cast<double>(connectedRss - emptyRss) / n);
        result[QStringLiteral("connection_kib_per_client")] =
            rounded(static_cast<double>(connectedRss - listedRss) / n);
        progress(QStringLiteral("%1 systems drop at once, list shown").arg(n));
        const Drop ours = dropAll(pool, *console, folder.port, descriptorsBefore);
        result[QStringLiteral("drop_hold_ms")] = rounded(ours.holdMs, 1);
        result[QStringLiteral("quiet_gap_ms")] = rounded(ours.quietGapMs, 1);
        result[QStringLiteral("drop_s")] = rounded(ours.seconds, 3);
    }
    console.reset();

    const quint16 port = pickFreePort();
    auto reference = startReference(config, port);
    if (!reference) {
        result[QStringLiteral("error")] = QStringLiteral("reference did not start");
        return result;
    }
    const int referenceBefore = descriptorsOf(reference->pid());
    WorkerPool pool(poolSettings(config, port, n));
    pool.command(QStringLiteral("storm"), QStringLiteral("storm"), config.timeoutMs + 10'000);
    progress(QStringLiteral("%1 clients drop at once from the epoll reference").arg(n));
    const Drop theirs = dropAll(pool, *reference, port, referenceBefore);
    result[QStringLiteral("reference_drop_hold_ms")] = rounded(theirs.holdMs, 1);
    result[QStringLiteral("reference_quiet_gap_ms")] = rounded(theirs.quietGapMs, 1);
    result[QStringLiteral("reference_drop_s")] = rounded(theirs.seconds, 3);
    result[QStringLiteral("hold_ratio")] =
        theirs.holdMs > 0 ? rounded(result[QStringLiteral("drop_hold_ms")].toDouble() / theirs.holdMs) : 0.0;
    return result;
}

namespace {

// Keys typed on the console's display, as an administrator types them: into its window, or into the
// menu that is open.
bool typeKeys(const TargetProcess& console, const QStringList& keys, bool intoWindow = true) {
    QStringList arguments;
    if (intoWindow)
        arguments << QStringLiteral("search") << QStringLiteral("--onlyvisible") << QStringLiteral("--limit")
                  << QStringLiteral("1") << QStringLiteral("--name") << QStringLiteral("^Kestrava")
                  << QStringLiteral("windowfocus");
    arguments << QStringLiteral("key") << QStringLiteral("--delay") << QStringLiteral("50") << keys;
    QProcess xdotool;
    xdotool.setProcessEnvironment(environmentOf(console));
    xdotool.setProcessChannelMode(QProcess::ForwardedChannels);
    xdotool.start(QStringLiteral("xdotool"), arguments);
    if (!xdotool.waitForFinished(20'000)) {
        xdotool.kill();
        xdotool.waitForFinished();
        return false;
    }
    return xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
}

} // namespace

QJsonObject runWindowBroadcast(const BenchConfig& config, int n) {
    QJsonObject result{{QStringLiteral("scenario"), QStringLiteral("window_broadcast")},
                       {QStringLiteral("n"), n}};
    ListedFolder folder(config, 0);
    auto console = startWithWindow(folder);
    if (!console) {
        result[QStringLiteral("error")] = QStringLiteral("console did not start");
        return result;
    }
    WorkerPool pool(poolSettings(config, folder.port, n));
    result[QStringLiteral("members")] =
        answered(pool.command(QStringLiteral("storm"), QStringLiteral("storm"), config.timeoutMs + 10'000));
    // The tree starts on its root: one step down is the group, whose list then shows its n members.
    if (!typeKeys(*console, {QStringLiteral("Home"), QStringLiteral("Down")})) {
        result[QStringLiteral("error")] = QStringLiteral("xdotool could not reach the window");
        return result;
    }
    QThread::msleep(2'000);
    AnswerGapProbe probe;
    if (!probe.start(folder.port)) {
        result[QStringLiteral("error")] = QStringLiteral("probe did not connect");
        return result;
    }
    QThread::msleep(1'000);
    result[QStringLiteral("quiet_gap_ms")] = rounded(probe.longestGapMs(), 1);
    probe.resetLongest();
    progress(QStringLiteral("Tools > Internet > ON for the group of %1, its list shown").arg(n));
    typeKeys(*console, {QStringLiteral("alt+t"), QStringLiteral("i")});
    QThread::msleep(500);
    qint64 start = 0;
    const auto replies = pool.watch(u'S', 60'000, [&] {
        start = nowNs();
        typeKeys(*console, {QStringLiteral("n")}, false);
    });
    qint64 last = 0, got = 0;
    for (const KeyValueLine& r : replies) {
        last = std::max(last, r.number(QStringLiteral("done_last")));
        got += r.number(QStringLiteral("done"));
    }
    QThread::msleep(500);
    result[QStringLiteral("schedule_received")] = got;
    result[QStringLiteral("schedule_last_s")] =
        got > 0 ? rounded(static_cast<double>(last - start) / 1e9) : -1.0;
    result[QStringLiteral("schedule_hold_ms")] = rounded(probe.longestGapMs(), 1);
    probe.stop();
    return result;
}

QJsonObject runListShow(const BenchConfig& config, int n) {
    QProcess show;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    show.setProcessEnvironment(env);
    show.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    progress(QStringLiteral("list of a group of %1 shown the first time").arg(n));
    show.start(QStringLiteral("xvfb-run"),
               {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24"),
                config.binDir + QStringLiteral("/kestrava-bench-listshow"), QString::number(n)});
    if (!show.waitForFinished(120'000)) {
        show.kill();
        show.waitForFinished();
    }
    for (const QByteArray& line : show.readAllStandardOutput().split('\n')) {
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (document.isObject())
            return document.object();
    }
    return {{QStringLiteral("scenario"), QStringLiteral("list_show")},
            {QStringLiteral("error"), QStringLiteral("no figures")}};
}

} // namespace kestrava::bench
