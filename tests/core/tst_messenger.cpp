#include "SimulatedClient.h"
#include "TwoGroupScene.h"
#include "console/Keys.h"

#include <QTest>

using namespace kestrava;

class TestMessenger : public QObject {
    Q_OBJECT
private slots:
    void messageToGroupReachesOnlyConnectedMembers();
    void messageToOneSystem();
    void messageToRootReachesEveryConnectedSystem();
    void messageToUnknownOrOfflineKeyReachesNobody();
    void membersGetTheirOwnSchedules();
    void whiteListsFromTheRoot();
    void whiteListOfOneGroup();
    void whiteListOfOneSystem();
    void whiteListOnRequestFollowsTheTree();
    void blockListsFromTheRoot();
    void blockListOfOneSystemWithoutGroupIsEmpty();
};

namespace {
const QStringList kNothing;
}

void TestMessenger::messageToGroupReachesOnlyConnectedMembers() {
    TwoGroupScene s;
    s.link.messenger().Enumerate_Childs_And_Send_Message(s.g1Key, QStringLiteral("V"));
    QCOMPARE(s.received(s.a1, s.a1Key), QStringList{QStringLiteral("V")});
    QCOMPARE(s.received(s.a3, s.a3Key), QStringList{QStringLiteral("V")});
    QCOMPARE(s.received(s.b1, s.b1Key), kNothing);
    QCOMPARE(s.received(s.r1, s.r1Key), kNothing);
}

void TestMessenger::messageToOneSystem() {
    TwoGroupScene s;
    s.link.messenger().Enumerate_Childs_And_Send_Message(s.a3Key.toLower(), QStringLiteral("I"));
    QCOMPARE(s.received(s.a1, s.a1Key), kNothing);
    QCOMPARE(s.received(s.a3, s.a3Key), QStringList{QStringLiteral("I")});
}

void TestMessenger::messageToRootReachesEveryConnectedSystem() {
    TwoGroupScene s;
    s.link.messenger().Enumerate_Childs_And_Send_Message(Keys::rootKey(), QStringLiteral("U"));
    for (auto [client, key] : {std::pair{s.a1, s.a1Key}, {s.a3, s.a3Key}, {s.b1, s.b1Key}, {s.r1, s.r1Key}})
        QCOMPARE(s.received(client, key), QStringList{QStringLiteral("U")});
}

void TestMessenger::messageToUnknownOrOfflineKeyReachesNobody() {
    TwoGroupScene s;
    s.link.messenger().Enumerate_Childs_And_Send_Message(s.a2Key, QStringLiteral("V"));
    s.link.messenger().Enumerate_Childs_And_Send_Message(Keys::Make_Group_Key(QStringLiteral("none")),
                                                         QStringLiteral("V"));
    s.link.messenger().Enumerate_Childs_And_Send_Message(QString(), QStringLiteral("V"));
    for (auto [client, key] : {std::pair{s.a1, s.a1Key}, {s.a3, s.a3Key}, {s.b1, s.b1Key}, {s.r1, s.r1Key}})
        QCOMPARE(s.received(client, key), kNothing);
    QCOMPARE(s.link.connections().socketIndexes().size(), std::size_t{4});
}

void TestMessenger::membersGetTheirOwnSchedules() {
    TwoGroupScene s;
    Database& db = s.link.db();
    db.exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=1, OnInternet=0 WHERE Group_ID=?"), {s.g1});
    db.exec(
        QStringLiteral("UPDATE System_Table SET Apply_Systemwise_Settings=1, Schedule_Type=1, OnInternet=1 "
                       "WHERE System_Key=?"),
        {s.a1Key});
    s.link.messenger().Enumerate_Childs_And_Send_Scheduler(s.g1Key);
    QCOMPARE(s.received(s.a1, s.a1Key), QStringList{QStringLiteral("S|3/12/2026 10:00:02 AM|1|True|0|")});
    QCOMPARE(s.received(s.a3, s.a3Key), QStringList{QStringLiteral("S|3/12/2026 10:00:02 AM|1|False|0|")});
    QCOMPARE(s.received(s.b1, s.b1Key), kNothing);
    QCOMPARE(s.received(s.r1, s.r1Key), kNothing);
}

void TestMessenger::whiteListsFromTheRoot() {
    TwoGroupScene s;
    s.link.messenger().Enumerate_Childs_And_Send_URL(Keys::rootKey());
    QCOMPARE(s.received(s.a1, s.a1Key), QStringList{QStringLiteral("P|1|www.one.com|")});
    QCOMPARE(s.received(s.a3, s.a3Key), QStringList{QStringLiteral("P|1|www.one.com|")});
    QCOMPARE(s.received(s.b1, s.b1Key), QStringList{QStringLiteral("P|1|www.two.com|")});
    QCOMPARE(s.received(s.r1, s.r1Key), kNothing);
}

void TestMessenger::whiteListOfOneGroup() {
    TwoGroupScene s;
    s.link.messenger().Enumerate_Childs_And_Send_URL(s.g2Key);
    QCOMPARE(s.received(s.a1, s.a1Key), kNothing);
    QCOMPARE(s.received(s.b1, s.b1Key), QStringList{QStringLiteral("P|1|www.two.com|")});
}

void TestMessenger::whiteListOfOneSystem() {
    TwoGroupScene s;
    s.link.messenger().Enumerate_Childs_And_Send_URL(s.a3Key);
    QCOMPARE(s.received(s.a1, s.a1Key), kNothing);
    QCOMPARE(s.received(s.a3, s.a3Key), QStringList{QStringLiteral("P|1|www.one.com|")});
}

void TestMessenger::whiteListOnRequestFollowsTheTree() {
    TwoGroupScene s;
    s.link.messenger().Send_URL_List_To_System(s.r1Key);
    s.link.messenger().Send_URL_List_To_System(s.b1Key);
    QCOMPARE(s.received(s.r1, s.r1Key), kNothing);
    QCOMPARE(s.received(s.b1, s.b1Key), QStringList{QStringLiteral("P|1|www.two.com|")});
}

void TestMessenger::blockListsFromTheRoot() {
    TwoGroupScene s;
    s.link.messenger().Enumerate_Childs_And_Send_Programs(Keys::rootKey());
    QCOMPARE(s.received(s.a1, s.a1Key), QStringList{QStringLiteral("B|1|one.exe|")});
    QCOMPARE(s.received(s.a3, s.a3Key), QStringList{QStringLiteral("B|1|one.exe|")});
    QCOMPARE(s.received(s.b1, s.b1Key), QStringList{QStringLiteral("B|1|two.exe|")});
    QCOMPARE(s.received(s.r1, s.r1Key), kNothing);
}

void TestMessenger::blockListOfOneSystemWithoutGroupIsEmpty() {
    TwoGroupScene s;
    s.link.messenger().Enumerate_Childs_And_Send_Programs(s.r1Key);
    s.link.messenger().Enumerate_Childs_And_Send_Programs(s.b1Key);
    QCOMPARE(s.received(s.r1, s.r1Key), QStringList{QStringLiteral("B|0|")});
    QCOMPARE(s.received(s.b1, s.b1Key), QStringList{QStringLiteral("B|1|two.exe|")});
}

QTEST_GUILESS_MAIN(TestMessenger)
#include "tst_messenger.moc"
