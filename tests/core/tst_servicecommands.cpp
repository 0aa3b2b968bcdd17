#include "SimulatedClient.h"
#include "TwoGroupScene.h"
#include "core/console/Keys.h"
#include "core/link/ServiceCommands.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrava;
using namespace std::chrono_literals;

class TestServiceCommands : public QObject {
    Q_OBJECT
private slots:
    void blankScreenOfGroup();
    void blankScreenOfSystemClearsItsGroup();
    void blankScreenOfRootChangesNoRow();
    void orders_data();
    void orders();
    void questions_data();
    void questions();
    void synchronizeSystem();
    void synchronizeGroup();
    void synchronizeRootSendsNothing();
    void synchronizeFailureIsReported();
};

namespace {

const QStringList kNothing;
const QString kSchedule = QStringLiteral("S|3/12/2026 10:00:02 AM|0|");

int blankOfGroup(Database& db, int group) {
    return db.scalar(QStringLiteral("SELECT Blank_Screen FROM Group_Table WHERE Group_ID=?"), {group})
        .toInt();
}

int blankOfSystem(Database& db, const QString& key) {
    return db.scalar(QStringLiteral("SELECT Blank_Screen FROM System_Table WHERE System_Key=?"), {key})
        .toInt();
}

} // namespace

void TestServiceCommands::blankScreenOfGroup() {
    TwoGroupScene s;
    ServiceCommands commands(s.link.db(), s.link.connections(), s.link.messenger());
    commands.blankScreen(s.g1Key, true);
    Database& db = s.link.db();
    QCOMPARE(blankOfGroup(db, s.g1), 1);
    QCOMPARE(blankOfGroup(db, s.g2), 0);
    for (const QString& key : {s.a1Key, s.a2Key, s.a3Key})
        QCOMPARE(blankOfSystem(db, key), 1);
    QCOMPARE(blankOfSystem(db, s.b1Key), 0);
    QCOMPARE(blankOfSystem(db, s.r1Key), 0);
    QCOMPARE(s.received(s.a1, s.a1Key), QStringList{QStringLiteral("L|True|")});
    QCOMPARE(s.received(s.a3, s.a3Key), QStringList{QStringLiteral("L|True|")});
    QCOMPARE(s.received(s.b1, s.b1Key), kNothing);

    commands.blankScreen(s.g1Key, false);
    QCOMPARE(blankOfGroup(db, s.g1), 0);
    QCOMPARE(blankOfSystem(db, s.a2Key), 0);
    QCOMPARE(s.received(s.a1, s.a1Key), QStringList{QStringLiteral("L|False|")});
}

void TestServiceCommands::blankScreenOfSystemClearsItsGroup() {
    TwoGroupScene s;
    Database& db = s.link.db();
    db.exec(QStringLiteral("UPDATE Group_Table SET Blank_Screen=1"));
    ServiceCommands commands(db, s.link.connections(), s.link.messenger());
    commands.blankScreen(s.a3Key, true);
    QCOMPARE(blankOfGroup(db, s.g1), 0);
    QCOMPARE(blankOfGroup(db, s.g2), 1);
    QCOMPARE(blankOfSystem(db, s.a3Key), 1);
    QCOMPARE(blankOfSystem(db, s.a1Key), 0);
    QCOMPARE(s.received(s.a3, s.a3Key), QStringList{QStringLiteral("L|True|")});
    QCOMPARE(s.received(s.a1, s.a1Key), kNothing);
}

void TestServiceCommands::blankScreenOfRootChangesNoRow() {
    TwoGroupScene s;
    ServiceCommands commands(s.link.db(), s.link.connections(), s.link.messenger());
    commands.blankScreen(Keys::rootKey(), true);
    QCOMPARE(s.link.db().scalar(QStringLiteral("SELECT sum(Blank_Screen) FROM System_Table")).toInt(), 0);
    QCOMPARE(s.link.db().scalar(QStringLiteral("SELECT sum(Blank_Screen) FROM Group_Table")).toInt(), 0);
    for (auto [client, key] : {std::pair{s.a1, s.a1Key}, {s.a3, s.a3Key}, {s.b1, s.b1Key}, {s.r1, s.r1Key}})
        QCOMPARE(s.received(client, key), QStringList{QStringLiteral("L|True|")});
}

void TestServiceCommands::orders_data() {
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("message");
    QTest::newRow("make visible") << 0 << QStringLiteral("V");
    QTest::newRow("make invisible") << 1 << QStringLiteral("I");
    QTest::newRow("terminate") << 2 << QStringLiteral("T");
    QTest::newRow("uninstall") << 3 << QStringLiteral("U");
}

void TestServiceCommands::orders() {
    QFETCH(int, order);
    QFETCH(QString, message);
    TwoGroupScene s;
    ServiceCommands commands(s.link.db(), s.link.connections(), s.link.messenger());
    switch (order) {
    case 0:
        commands.makeVisible(s.g1Key);
        break;
    case 1:
        commands.makeInvisible(s.g1Key);
        break;
    case 2:
        commands.terminate(s.g1Key);
        break;
    default:
        commands.uninstall(s.g1Key);
        break;
    }
    QCOMPARE(s.received(s.a1, s.a1Key), QStringList{message});
    QCOMPARE(s.received(s.a3, s.a3Key), QStringList{message});
    QCOMPARE(s.received(s.b1, s.b1Key), kNothing);
    QCOMPARE(s.received(s.r1, s.r1Key), kNothing);
}

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

void TestServiceCommands::synchronizeSystem() {
    TwoGroupScene s;
    ServiceCommands commands(s.link.db(), s.link.connections(), s.link.messenger());
    QSignalSpy busy(&commands, &ServiceCommands::busyChanged);
    QVERIFY(commands.synchronize(s.a1Key));
    QCOMPARE(busy.size(), 2);
    QCOMPARE(busy.at(0).at(0).toBool(), true);
    QCOMPARE(busy.at(1).at(0).toBool(), false);
    QCOMPARE(s.received(s.a1, s.a1Key), (QStringList{QStringLiteral("F|3|"), kSchedule}));
    QCOMPARE(s.received(s.a3, s.a3Key), kNothing);
}

void TestServiceCommands::synchronizeGroup() {
    TwoGroupScene s;
    ServiceCommands commands(s.link.db(), s.link.connections(), s.link.messenger());
    commands.setPauses(20ms, 20ms);
    QSignalSpy busy(&commands, &ServiceCommands::busyChanged);
    QVERIFY(commands.synchronize(s.g1Key));
    QVERIFY(commands.isBusy());
    QVERIFY(!commands.synchronize(s.g2Key));
    QTRY_VERIFY(!commands.isBusy());
    QCOMPARE(busy.size(), 2);
    const QStringList expected = {kSchedule, QStringLiteral("F|3|")};
    QCOMPARE(s.received(s.a1, s.a1Key), expected);
    QCOMPARE(s.received(s.a3, s.a3Key), expected);
    QCOMPARE(s.received(s.b1, s.b1Key), kNothing);
}

void TestServiceCommands::synchronizeRootSendsNothing() {
    TwoGroupScene s;
    ServiceCommands commands(s.link.db(), s.link.connections(), s.link.messenger());
    QVERIFY(commands.synchronize(Keys::rootKey()));
    QVERIFY(!commands.isBusy());
    QCOMPARE(s.received(s.a1, s.a1Key), kNothing);
    QCOMPARE(s.received(s.r1, s.r1Key), kNothing);
}

void TestServiceCommands::synchronizeFailureIsReported() {
    TwoGroupScene s;
    ServiceCommands commands(s.link.db(), s.link.connections(), s.link.messenger());
    QSignalSpy errors(&commands, &ServiceCommands::errorOccurred);
    s.link.db().exec(QStringLiteral("ALTER TABLE System_Table RENAME TO Hidden_Table"));
    QVERIFY(commands.synchronize(s.g1Key));
    QCOMPARE(errors.size(), 1);
    QVERIFY(!commands.isBusy());
    QCOMPARE(s.received(s.a1, s.a1Key), kNothing);
}

QTEST_GUILESS_MAIN(TestServiceCommands)
#include "tst_servicecommands.moc"
