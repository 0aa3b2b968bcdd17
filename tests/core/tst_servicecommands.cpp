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

// The uninstall question is the same with "Un-install" for "terminate".
void TestServiceCommands::questions_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("terminate");
    QTest::newRow("group") << Keys::Make_Group_Key(QStringLiteral("Lab"))
                           << QStringLiteral(
                                  "Are you sure you want to terminate all client(s) under the group 'Lab'?");
    QTest::newRow("system") << Keys::Make_System_Key(QStringLiteral("ID"), QStringLiteral("Lab"))
                            << QStringLiteral(
                                   "Are you sure you want to terminate the client in the system 'Lab'?");
    QTest::newRow("root") << Keys::rootKey() << QStringLiteral("Are you sure you want to terminate ");
}

void TestServiceCommands::questions() {
    QFETCH(QString, key);
    QFETCH(QString, terminate);
    QCOMPARE(ServiceCommands::terminateQuestion(key, QStringLiteral("Lab")), terminate);
    QCOMPARE(ServiceCommands::uninstallQuestion(key, QStringLiteral("Lab")),
             QString(terminate).replace(QStringLiteral("terminate"), QStringLiteral("Un-install")));
}

QTEST_GUILESS_MAIN(TestServiceCommands)
#include "tst_servicecommands.moc"
