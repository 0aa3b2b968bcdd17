#include "ClientInbox.h"
#include "LinkHarness.h"
#include "PolicyRows.h"
#include "SimulatedClient.h"
#include "core/console/Keys.h"
#include "core/policy/PolicyCommands.h"

#include <QTest>

using namespace kestrava;

Q_DECLARE_METATYPE(kestrava::PolicyCommands::Outcome)

namespace {

const QString kStamp = QStringLiteral("S|3/12/2026 10:00:02 AM|");

// Lab: pc1 and pc3 follow it, pc2 has settings of its own (internet on); pc3 is not connected.
// Office: pc4 follows it. Lab has one stored range and an old timer.
struct Setup {
    LinkHarness h;
    int lab = 0;
    int office = 0;
    QString labKey = PolicyRows::groupKey(QStringLiteral("Lab"));
    QString officeKey = PolicyRows::groupKey(QStringLiteral("Office"));
    QString pc1, pc2, pc3, pc4;
    SimulatedClient* c1 = nullptr;
    SimulatedClient* c2 = nullptr;
    SimulatedClient* c4 = nullptr;
    PolicyCommands commands{h.db(), h.messenger()};

    Setup() {
        Database& db = h.db();
        lab = PolicyRows::addGroup(db, QStringLiteral("Lab"));
        office = PolicyRows::addGroup(db, QStringLiteral("Office"));
        pc1 = PolicyRows::addSystem(db, QStringLiteral("id1"), QStringLiteral("pc1"), lab);
        pc2 = PolicyRows::addSystem(db, QStringLiteral("id2"), QStringLiteral("pc2"), lab, true);
        pc3 = PolicyRows::addSystem(db, QStringLiteral("id3"), QStringLiteral("pc3"), lab);
        pc4 = PolicyRows::addSystem(db, QStringLiteral("id4"), QStringLiteral("pc4"), office);
        db.exec(QStringLiteral("UPDATE System_Table SET Schedule_Type=1, OnInternet=1 WHERE System_Key=?"),
                {pc2});
        PolicyRows::addSystemRange(db, PolicyRows::systemId(db, pc2), QStringLiteral("01:00 PM,02:00 PM,1"));
        db.exec(
            QStringLiteral("UPDATE Group_Table SET Schedule_Type=2, Block_Internet=1, Timer_Type='N', "
                           "Timer_Starttime='2026-03-12 09:30:00', Timer_Period='01:00' WHERE Group_ID=?"),
            {lab});
        PolicyRows::addGroupRange(db, lab, QStringLiteral("08:00 AM,09:00 AM,2,34,0"));
        h.loadTree();
        c1 = h.connectIdentified(QStringLiteral("id1"), QStringLiteral("pc1"));
        c2 = h.connectIdentified(QStringLiteral("id2"), QStringLiteral("pc2"));
        c4 = h.connectIdentified(QStringLiteral("id4"), QStringLiteral("pc4"));
    }

    bool ready() const { return c1 && c2 && c4; }

    QVariant group(const QString& column, int id) {
        return h.db().scalar(QStringLiteral("SELECT %1 FROM Group_Table WHERE Group_ID=?").arg(column), {id});
    }
    QVariant system(const QString& column, const QString& key) {
        return h.db().scalar(QStringLiteral("SELECT %1 FROM System_Table WHERE System_Key=?").arg(column),
                             {key});
    }
    QStringList dump() {
        QStringList all;
        for (const char* table :
             {"Group_Table", "System_Table", "Group_Scheduler_Table", "System_Scheduler_Table"})
            all << PolicyRows::tableDump(h.db(), QLatin1String(table));
        return all;
    }
};

QStringList one(const QString& message) {
    return {message};
}

} // namespace

class TestPolicyCommands : public QObject {
    Q_OBJECT
private slots:
    void internetOffOnGroup();
    void internetOnOnSystem();
    void clearGroupKeepsSchedulesAndTimer();
    void clearSystemGivesItEmptySettingsOfItsOwn();
    void inheritSendsTheGroupsTimer();
    void setToClientsMakesMembersFollow();
    void refusedCommands_data();
    void refusedCommands();
};

void TestPolicyCommands::internetOffOnGroup() {
    Setup s;
    QVERIFY(s.ready());
    QCOMPARE(s.commands.setInternet(s.labKey, false), PolicyCommands::Outcome::Done);
    QCOMPARE(s.group(QStringLiteral("Schedule_Type"), s.lab).toInt(), 1);
    QCOMPARE(s.group(QStringLiteral("OnInternet"), s.lab).toInt(), 0);
    QCOMPARE(s.group(QStringLiteral("Apply_Groupwise_Settings"), s.lab).toInt(), 1);
    for (const QString& key : {s.pc1, s.pc2, s.pc3})
        QCOMPARE(s.system(QStringLiteral("Apply_Systemwise_Settings"), key).toInt(), 0);
    QCOMPARE(s.group(QStringLiteral("Schedule_Type"), s.office).toInt(), 0);
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), one(kStamp + QStringLiteral("1|False|0|")));
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), one(kStamp + QStringLiteral("1|False|0|")));
    QCOMPARE(receivedBy(s.h, s.c4, s.pc4), QStringList());
}

void TestPolicyCommands::internetOnOnSystem() {
    Setup s;
    QVERIFY(s.ready());
    s.h.db().exec(QStringLiteral("UPDATE Group_Table SET Apply_Groupwise_Settings=1"));
    QCOMPARE(s.commands.setInternet(s.pc1, true), PolicyCommands::Outcome::Done);
    QCOMPARE(s.system(QStringLiteral("Apply_Systemwise_Settings"), s.pc1).toInt(), 1);
    QCOMPARE(s.system(QStringLiteral("Schedule_Type"), s.pc1).toInt(), 1);
    QCOMPARE(s.system(QStringLiteral("OnInternet"), s.pc1).toInt(), 1);
    QCOMPARE(s.group(QStringLiteral("Apply_Groupwise_Settings"), s.lab).toInt(), 0);
    QCOMPARE(s.group(QStringLiteral("Apply_Groupwise_Settings"), s.office).toInt(), 1);
    QCOMPARE(s.system(QStringLiteral("Apply_Systemwise_Settings"), s.pc3).toInt(), 0);
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), one(kStamp + QStringLiteral("1|True|0|")));
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), QStringList());
    QCOMPARE(receivedBy(s.h, s.c4, s.pc4), QStringList());
}

void TestPolicyCommands::clearGroupKeepsSchedulesAndTimer() {
    Setup s;
    QVERIFY(s.ready());
    const QStringList ranges = PolicyRows::tableDump(s.h.db(), QStringLiteral("Group_Scheduler_Table"));
    QCOMPARE(s.commands.clearInternetSettings(s.labKey), PolicyCommands::Outcome::Done);
    QCOMPARE(s.group(QStringLiteral("Schedule_Type"), s.lab).toInt(), 0);
    QCOMPARE(s.group(QStringLiteral("Apply_Groupwise_Settings"), s.lab).toInt(), 1);
    QCOMPARE(s.group(QStringLiteral("Timer_Type"), s.lab).toString(), QStringLiteral("N"));
    QCOMPARE(s.group(QStringLiteral("Timer_Period"), s.lab).toString(), QStringLiteral("01:00"));
    QCOMPARE(PolicyRows::tableDump(s.h.db(), QStringLiteral("Group_Scheduler_Table")), ranges);
    QCOMPARE(s.system(QStringLiteral("Apply_Systemwise_Settings"), s.pc2).toInt(), 0);
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), one(kStamp + QStringLiteral("0|")));
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), one(kStamp + QStringLiteral("0|")));
    QCOMPARE(receivedBy(s.h, s.c4, s.pc4), QStringList());
}

void TestPolicyCommands::clearSystemGivesItEmptySettingsOfItsOwn() {
    Setup s;
    QVERIFY(s.ready());
    s.h.db().exec(QStringLiteral("UPDATE Group_Table SET Apply_Groupwise_Settings=1"));
    const QStringList ranges = PolicyRows::tableDump(s.h.db(), QStringLiteral("System_Scheduler_Table"));
    QCOMPARE(s.commands.clearInternetSettings(s.pc1), PolicyCommands::Outcome::Done);
    QCOMPARE(s.system(QStringLiteral("Schedule_Type"), s.pc1).toInt(), 0);
    QCOMPARE(s.system(QStringLiteral("Apply_Systemwise_Settings"), s.pc1).toInt(), 1);
    QCOMPARE(s.group(QStringLiteral("Apply_Groupwise_Settings"), s.lab).toInt(), 0);
    QCOMPARE(s.group(QStringLiteral("Schedule_Type"), s.lab).toInt(), 2);
    QCOMPARE(PolicyRows::tableDump(s.h.db(), QStringLiteral("System_Scheduler_Table")), ranges);
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), one(kStamp + QStringLiteral("0|")));
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), QStringList());
}

void TestPolicyCommands::inheritSendsTheGroupsTimer() {
    Setup s;
    QVERIFY(s.ready());
    s.h.db().exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=3 WHERE Group_ID=?"), {s.lab});
    const QStringList groups = PolicyRows::tableDump(s.h.db(), QStringLiteral("Group_Table"));
    QCOMPARE(s.commands.inheritGroupInternetSettings(s.pc2), PolicyCommands::Outcome::Done);
    QCOMPARE(s.system(QStringLiteral("Apply_Systemwise_Settings"), s.pc2).toInt(), 0);
    QCOMPARE(s.system(QStringLiteral("Schedule_Type"), s.pc2).toInt(), 1);
    QCOMPARE(PolicyRows::tableDump(s.h.db(), QStringLiteral("Group_Table")), groups);
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2),
             one(kStamp + QStringLiteral("3|N|3/12/2026 9:30:00 AM|3/12/2026 10:30:00 AM|0|")));
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), QStringList());
}

void TestPolicyCommands::setToClientsMakesMembersFollow() {
    Setup s;
    QVERIFY(s.ready());
    QCOMPARE(s.commands.setInternetSettingsToClients(s.labKey), PolicyCommands::Outcome::Done);
    QCOMPARE(s.group(QStringLiteral("Apply_Groupwise_Settings"), s.lab).toInt(), 1);
    QCOMPARE(s.group(QStringLiteral("Schedule_Type"), s.lab).toInt(), 2);
    QCOMPARE(s.system(QStringLiteral("Apply_Systemwise_Settings"), s.pc2).toInt(), 0);
    QCOMPARE(s.system(QStringLiteral("Schedule_Type"), s.pc2).toInt(), 1);
    const QString groupSchedule = kStamp + QStringLiteral("2|True|1|08:00 AM|09:00 AM|2|34|0|0|");
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), one(groupSchedule));
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), one(groupSchedule));
    QCOMPARE(receivedBy(s.h, s.c4, s.pc4), QStringList());
}

void TestPolicyCommands::refusedCommands_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("which");
    QTest::addColumn<PolicyCommands::Outcome>("outcome");
    const auto notApplicable = PolicyCommands::Outcome::NotApplicable;
    QTest::newRow("inherit on a group") << "inherit"
                                        << "lab" << notApplicable;
    QTest::newRow("set to clients on a system") << "setToClients"
                                                << "pc1" << notApplicable;
    for (const char* command : {"on", "clear", "inherit", "setToClients"}) {
        QTest::addRow("%s on the root", command) << QString::fromLatin1(command) << "root" << notApplicable;
        QTest::addRow("%s on nothing", command) << QString::fromLatin1(command) << "" << notApplicable;
    }
    // The tree still shows them; the database no longer has them.
    for (const char* command : {"on", "clear", "inherit", "setToClients"}) {
        if (qstrcmp(command, "inherit") != 0)
            QTest::addRow("%s, group deleted", command)
                << QString::fromLatin1(command) << "lab" << PolicyCommands::Outcome::OwnerMissing;
        if (qstrcmp(command, "setToClients") != 0)
            QTest::addRow("%s, system deleted", command)
                << QString::fromLatin1(command) << "pc1" << PolicyCommands::Outcome::OwnerMissing;
    }
}

void TestPolicyCommands::refusedCommands() {
    QFETCH(QString, command);
    QFETCH(QString, which);
    QFETCH(PolicyCommands::Outcome, outcome);
    Setup s;
    QVERIFY(s.ready());
    const QString key = which == QLatin1String("lab")    ? s.labKey
                        : which == QLatin1String("pc1")  ? s.pc1
                        : which == QLatin1String("root") ? Keys::rootKey()
                                                         : QString();
    if (outcome == PolicyCommands::Outcome::OwnerMissing && which == QLatin1String("lab"))
        s.h.db().exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_ID=?"), {s.lab});
    else if (outcome == PolicyCommands::Outcome::OwnerMissing)
        s.h.db().exec(QStringLiteral("DELETE FROM System_Table WHERE System_Key=?"), {s.pc1});
    const QStringList before = s.dump();
    PolicyCommands::Outcome found = PolicyCommands::Outcome::Done;
    if (command == QLatin1String("on"))
        found = s.commands.setInternet(key, true);
    else if (command == QLatin1String("clear"))
        found = s.commands.clearInternetSettings(key);
    else if (command == QLatin1String("inherit"))
        found = s.commands.inheritGroupInternetSettings(key);
    else
        found = s.commands.setInternetSettingsToClients(key);
    QCOMPARE(found, outcome);
    QCOMPARE(s.dump(), before);
    QCOMPARE(receivedBy(s.h, s.c1, s.pc1), QStringList());
    QCOMPARE(receivedBy(s.h, s.c2, s.pc2), QStringList());
}

QTEST_GUILESS_MAIN(TestPolicyCommands)
#include "tst_policycommands.moc"
