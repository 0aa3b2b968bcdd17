#include "core/console/Keys.h"
#include "core/link/ServiceCommands.h"

#include <QTest>

using namespace kestrava;

// What the service orders ask before they go out; where they go is in tst_consoleorders.
class TestServiceCommands : public QObject {
    Q_OBJECT
private slots:
    void questions_data();
    void questions();
};

void TestServiceCommands::questions_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("terminate");
    QTest::addColumn<QString>("uninstall");
    QTest::newRow("group")
        << Keys::Make_Group_Key(QStringLiteral("Lab"))
        << QStringLiteral("Are you sure you want to terminate all client(s) under the group 'Lab'?")
        << QStringLiteral("Are you sure you want to Un-install all client(s) under the group 'Lab'?");
    QTest::newRow("system")
        << Keys::Make_System_Key(QStringLiteral("ID"), QStringLiteral("Lab"))
        << QStringLiteral("Are you sure you want to terminate the client in the system 'Lab'?")
        << QStringLiteral("Are you sure you want to Un-install the client in the system 'Lab'?");
    QTest::newRow("root") << Keys::rootKey() << QStringLiteral("Are you sure you want to terminate ")
                          << QStringLiteral("Are you sure you want to Un-install ");
}

void TestServiceCommands::questions() {
    QFETCH(QString, key);
    QFETCH(QString, terminate);
    QFETCH(QString, uninstall);
    QCOMPARE(ServiceCommands::terminateQuestion(key, QStringLiteral("Lab")), terminate);
    QCOMPARE(ServiceCommands::uninstallQuestion(key, QStringLiteral("Lab")), uninstall);
}

QTEST_GUILESS_MAIN(TestServiceCommands)
#include "tst_servicecommands.moc"
