#include "agent/config/AgentConfig.h"
#include "agent/state/StateFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrava::agent;
using namespace Qt::StringLiterals;

namespace {
// What a parsed file sets, in one line: "host:port tls:N pinned local:a,b servers installed".
QString summary(const AgentConfig& config) {
    QStringList words{config.consoleHost + u':' + QString::number(config.consolePort),
                      u"tls:"_s + QString::number(config.tlsPort())};
    if (!config.consoleFingerprint.isEmpty())
        words << u"pinned"_s;
    if (!config.localNetworks.isEmpty())
        words << u"local:"_s + config.localNetworks.join(u',');
    if (config.localAccess == LocalAccess::Servers)
        words << u"servers"_s;
    if (config.userPrograms == UserPrograms::Installed)
        words << u"installed"_s;
    return words.join(u' ');
}

SavedState sample() {
    SavedState state;
    state.orders.heardFromConsole = true;
    state.orders.schedule.type = Schedule::Type::Ranges;
    state.orders.schedule.stamp = QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59));
    state.orders.schedule.blockInRanges = true;
    state.orders.schedule.ranges = {{QTime(22, 0), QTime(6, 30), TimeRange::Repeat::Weekly, 0x22, 0}};
    state.orders.whiteList = {QStringLiteral("school.example/maths")};
    state.orders.blockList = {QStringLiteral("game.exe")};
    state.orders.settings = {{80, 0, 8080}, QStringLiteral("Not here"), true, true};
    state.orders.screenLocked = true;
    state.orders.notificationsVisible = false;
    state.orders.consoleOffsetMs = -123456789012;
    state.link.console = QStringLiteral("10.0.0.1:8999");
    return state;
}

} // namespace

// The files the agent reads and writes: its configuration and the state it keeps across restarts.
class TestAgentFiles : public QObject {
    Q_OBJECT

private slots:
    // Each row a file and what it sets, or the one error it is refused with.
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed"); // the summary, or the error
        const QString pin = u"ab"_s.repeated(32);
        const auto row = [](const char* name, const QString& text, const QString& parsed) {
            QTest::newRow(name) << text << parsed;
        };
        row("full",
            u"# lab\n[console]\nhost = 10.1.2.3\nport=9000\n\n[Agent]\nname = pc-1\n"
            "local_networks = 10.0.0.0/8, fd00::/8 192.168.5.7\n"_s,
            u"10.1.2.3:9000 tls:9001 local:10.0.0.0/8,fd00::/8,192.168.5.7"_s);
        row("pinned", u"[console]\nport=9000\nconsole_fingerprint = "_s + pin, u":9000 tls:9001 pinned"_s);
        row("pinned on its own port", u"[console]\nconsole_tls_port=4443\nconsole_fingerprint="_s + pin,
            u":8999 tls:4443 pinned"_s);
        row("servers only", u"[agent]\nlocal_access = Servers"_s, u":8999 tls:9000 servers"_s);
        row("all", u"[agent]\nlocal_access = all"_s, u":8999 tls:9000"_s);
        row("installed programs", u"[agent]\nuser_programs = Installed\n"_s, u":8999 tls:9000 installed"_s);
        row("bad port", u"[console]\nhost=a\nport=99999\n"_s,
            u"f:3: port must be a number from 1 to 65535, not '99999'"_s);
        row("bad network", u"[agent]\nalways_allow = 10.1, 10.0.0.0/33\n"_s,
            u"f:2: '10.1' in always_allow is not an address or a network such as 10.0.0.0/8"_s);
        row("unknown key", u"[console]\nhots=a\n"_s, u"f:2: unknown key 'hots' in [console]"_s);
        row("unknown section", u"[server]\n"_s,
            u"f:1: unknown section [server] (known: [console], [agent])"_s);
        row("no equals", u"[agent]\nname\n"_s, u"f:2: expected key = value"_s);
        row("short pin", u"[console]\nconsole_fingerprint="_s + pin.left(62),
            u"f:2: console_fingerprint must be 64 hex digits such as AB:CD:..., as the console shows it in "
            "Options, not '"_s +
                pin.left(62) + u"'"_s);
        row("bad local access", u"[agent]\nlocal_access = none"_s,
            u"f:2: local_access must be 'all' or 'servers', not 'none'"_s);
        row("bad user programs", u"[agent]\n\nuser_programs = root\n"_s,
            u"f:3: user_programs must be 'any' or 'installed', not 'root'"_s);
    }

    void parse() {
        QFETCH(QString, text);
        QString problem;
        const auto config = AgentConfig::parse(text, QStringLiteral("f"), &problem);
        QCOMPARE(config.has_value(), problem.isEmpty());
        QTEST(config ? summary(*config) : problem, "parsed");
    }

    void console_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");

        QTest::newRow("host and port") << u"10.0.0.1:7000"_s << true << u"10.0.0.1"_s << 7000;
        QTest::newRow("bare v6") << u"fd00::1"_s << true << u"fd00::1"_s << 8999;
        QTest::newRow("bracketed v6") << u"[fd00::1]:7000"_s << true << u"fd00::1"_s << 7000;
        QTest::newRow("port zero") << u"a:0"_s << false << u""_s << 8999;
        QTest::newRow("empty host") << u":80"_s << false << u""_s << 8999;
    }

    void console() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        AgentConfig config;
        QCOMPARE(config.setConsole(text), ok);
        QTEST(config.consoleHost, "host");
        QTEST(config.consolePort, "port");
    }

    // Saved twice, then the file as it is, damaged, or damaged with the copy before it gone: what is loaded
    // is what was saved, from the copy before a damaged file, or nothing.
    void load_data() {
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("keepPrevious");
        QTest::addColumn<bool>("restored");
        QTest::newRow("intact") << false << true << true;
        QTest::newRow("previous good") << true << true << true;
        QTest::newRow("nothing good") << true << false << false;
    }

    void load() {
        QFETCH(bool, damaged);
        QFETCH(bool, keepPrevious);
        QTemporaryDir dir;
        StateFile file(dir.path());
        QString error;
        QVERIFY(file.save(sample(), &error));
        QVERIFY(file.save(sample(), &error));
        QCOMPARE(QFile::permissions(file.path()) & 0x0077, QFile::Permissions());
        if (!keepPrevious)
            QFile::remove(file.path() + QStringLiteral(".prev"));
        QFile damage(file.path());
        if (damaged) {
            QVERIFY(damage.open(QIODevice::WriteOnly | QIODevice::Truncate));
            damage.write("{\"orders\": {\"sched");
            damage.close();
        }
        const auto loaded = file.load(&error);
        QTEST(loaded.has_value(), "restored");
        QCOMPARE(error.contains(QStringLiteral("damaged")), damaged);
        if (loaded)
            QCOMPARE(loaded->orders, sample().orders);
    }
};

QTEST_APPLESS_MAIN(TestAgentFiles)
#include "tst_agentfiles.moc"
