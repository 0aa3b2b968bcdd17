#include <QFile>
#include <QTest>

// The unit the agent is installed with: its place in the boot and how systemd watches it.
class tst_ServiceUnit : public QObject {
    Q_OBJECT

private slots:
    void ordering_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("present");
        QTest::newRow("policy before the network") << "Before"
                                                   << "network-pre.target" << true;
        QTest::newRow("network-pre pulled in") << "Wants"
                                               << "network-pre.target" << true;
        QTest::newRow("after the system's ruleset") << "After"
                                                    << "nftables.service" << true;
        QTest::newRow("not after the network") << "After"
                                               << "network-online.target" << false;
        QTest::newRow("readiness told") << "Type"
                                        << "notify" << true;
        QTest::newRow("watched") << "WatchdogSec"
                                 << "30s" << true;
    }
    void ordering() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, present);
        QFile unit(QStringLiteral(KESTRAVA_SOURCE_DIR "/resources/agent/kestrava-agent.service.in"));
        QVERIFY2(unit.open(QIODevice::ReadOnly), qPrintable(unit.fileName()));
        QStringList values;
        for (const QString& line : QString::fromUtf8(unit.readAll()).split(QLatin1Char('\n'))) {
            if (line.section(QLatin1Char('='), 0, 0).trimmed() == key)
                values += line.section(QLatin1Char('='), 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        }
        QCOMPARE(values.contains(value), present);
    }
};

QTEST_APPLESS_MAIN(tst_ServiceUnit)
#include "tst_serviceunit.moc"
