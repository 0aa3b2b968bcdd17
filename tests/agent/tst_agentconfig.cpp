#include "agent/config/AgentConfig.h"

#include <QTest>

using kestrava::agent::AgentConfig;
using kestrava::agent::LocalAccess;
using kestrava::agent::UserPrograms;
using namespace Qt::StringLiterals;

class TestAgentConfig : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QStringList>("local");

        QTest::newRow("full") << u"# lab\n[console]\nhost = 10.1.2.3\nport=9000\n\n[Agent]\nname = pc-1\n"_s
                                 "local_networks = 10.0.0.0/8, fd00::/8 192.168.5.7\n"
                              << QString() << u"10.1.2.3"_s << 9000
                              << QStringList{u"10.0.0.0/8"_s, u"fd00::/8"_s, u"192.168.5.7"_s};
        QTest::newRow("defaults") << u"[console]\nhost=console.lab\n"_s << QString() << u"console.lab"_s
                                  << 8999 << QStringList();
        QTest::newRow("bad port") << u"[console]\nhost=a\nport=99999\n"_s
                                  << u"f:3: port must be a number from 1 to 65535, not '99999'"_s << QString()
                                  << 0 << QStringList();
        QTest::newRow("bad network")
            << u"[agent]\nalways_allow = 10.1, 10.0.0.0/33\n"_s
            << u"f:2: '10.1' in always_allow is not an address or a network such as 10.0.0.0/8"_s << QString()
            << 0 << QStringList();
        QTest::newRow("unknown key") << u"[console]\nhots=a\n"_s << u"f:2: unknown key 'hots' in [console]"_s
                                     << QString() << 0 << QStringList();
        QTest::newRow("unknown section")
            << u"[server]\n"_s << u"f:1: unknown section [server] (known: [console], [agent])"_s << QString()
            << 0 << QStringList();
        QTest::newRow("no equals") << u"[agent]\nname\n"_s << u"f:2: expected key = value"_s << QString() << 0
                                   << QStringList();
    }

    void parse() {
        QFETCH(QString, text);
        QFETCH(QString, error);
        QString problem;
        const auto config = AgentConfig::parse(text, QStringLiteral("f"), &problem);
        QCOMPARE(problem, error);
        QCOMPARE(config.has_value(), error.isEmpty());
        if (config) {
            QFETCH(QString, host);
            QFETCH(int, port);
            QFETCH(QStringList, local);
            QCOMPARE(config->consoleHost, host);
            QCOMPARE(config->consolePort, port);
            QCOMPARE(config->localNetworks, local);
        }
    }

    // The pin is read, the TLS port is the console's + 1 unless set; a pin that is not 32 bytes of hex is
    // refused with its line.
    void link_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("pinned");
        QTest::addColumn<int>("tlsPort");

        const QString pin = u"ab"_s.repeated(32);
        QTest::newRow("not pinned") << u"[console]\nport=9000\n"_s << QString() << false << 9001;
        QTest::newRow("pinned") << u"[console]\nport=9000\nconsole_fingerprint = "_s + pin << QString()
                                << true << 9001;
        QTest::newRow("pinned on its own port")
            << u"[console]\nconsole_tls_port=4443\nconsole_fingerprint="_s + pin << QString() << true << 4443;
        QTest::newRow("short pin") << u"[console]\nconsole_fingerprint="_s + pin.left(62)
                                   << u"f:2: console_fingerprint must be 64 hex digits such as AB:CD:..., as "
                                      "the console shows it in Options, not '"_s +
                                          pin.left(62) + u"'"_s
                                   << false << 0;
    }

    void link() {
        QFETCH(QString, text);
        QFETCH(QString, error);
        QString problem;
        const auto config = AgentConfig::parse(text, QStringLiteral("f"), &problem);
        QCOMPARE(problem, error);
        if (config) {
            QTEST(!config->consoleFingerprint.isEmpty(), "pinned");
            QTEST(config->tlsPort(), "tlsPort");
        }
    }

    void localAccess_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("servers");
        QTest::newRow("all") << u"all"_s << QString() << false;
        QTest::newRow("servers") << u"Servers"_s << QString() << true;
        QTest::newRow("bad") << u"none"_s << u"f:2: local_access must be 'all' or 'servers', not 'none'"_s
                             << false;
    }

    void localAccess() {
        QFETCH(QString, value);
        QString problem;
        const auto config = AgentConfig::parse(u"[agent]\nlocal_access = "_s + value, u"f"_s, &problem);
        QTEST(problem, "error");
        QTEST(config && config->localAccess == LocalAccess::Servers, "servers");
    }

    void userPrograms_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("installed");
        QTest::newRow("default") << u"[agent]\nname = pc-1\n"_s << QString() << false;
        QTest::newRow("installed") << u"[agent]\nuser_programs = Installed\n"_s << QString() << true;
        QTest::newRow("bad") << u"[agent]\n\nuser_programs = root\n"_s
                             << u"f:3: user_programs must be 'any' or 'installed', not 'root'"_s << false;
    }

    void userPrograms() {
        QFETCH(QString, text);
        QString problem;
        const auto config = AgentConfig::parse(text, u"f"_s, &problem);
        QTEST(problem, "error");
        QTEST(config && config->userPrograms == UserPrograms::Installed, "installed");
    }

    void console_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");

        QTest::newRow("host") << u"console"_s << true << u"console"_s << 8999;
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
};

QTEST_APPLESS_MAIN(TestAgentConfig)
#include "tst_agentconfig.moc"
