#include "SimulatedClient.h"
#include "TwoGroupScene.h"
#include "core/console/Keys.h"

#include <QHash>
#include <QTest>

using namespace kestrava;

// Which connected systems a walk from a node reaches, and what each gets. The scene's connected systems
// are A1 and A3 (G1), B1 (G2) and R1 (under the root); A2 (G1) is not connected.
class TestMessenger : public QObject {
    Q_OBJECT
private slots:
    void walks_data();
    void walks();
    void membersGetTheirOwnSchedules();
};

namespace {

enum Walk { Message, WhiteList, BlockList };

QString keyOf(const TwoGroupScene& s, const QString& name) {
    const QHash<QString, QString> keys = {
        {QStringLiteral("G1"), s.g1Key},
        {QStringLiteral("G2"), s.g2Key},
        {QStringLiteral("A2"), s.a2Key},
        {QStringLiteral("a3"), s.a3Key.toLower()},
        {QStringLiteral("A3"), s.a3Key},
        {QStringLiteral("B1"), s.b1Key},
        {QStringLiteral("R1"), s.r1Key},
        {QStringLiteral("root"), Keys::rootKey()},
        {QStringLiteral("no group"), Keys::Make_Group_Key(QStringLiteral("none"))},
    };
    return keys.value(name);
}

} // namespace

void TestMessenger::walks_data() {
    QTest::addColumn<int>("walk");
    QTest::addColumn<QString>("from");
    // What A1, A3, B1 and R1 receive, in this order; empty for nothing.
    QTest::addColumn<QStringList>("received");
    const QString v = QStringLiteral("V");
    const QString one = QStringLiteral("P|1|www.one.com|");
    const QString two = QStringLiteral("P|1|www.two.com|");
    QTest::newRow("message to a group") << int(Message) << QStringLiteral("G1") << QStringList{v, v, {}, {}};
    QTest::newRow("message to a system, key in other case")
        << int(Message) << QStringLiteral("a3") << QStringList{{}, v, {}, {}};
    QTest::newRow("message to the root") << int(Message) << QStringLiteral("root") << QStringList{v, v, v, v};
    QTest::newRow("message to an offline system")
        << int(Message) << QStringLiteral("A2") << QStringList{{}, {}, {}, {}};
    QTest::newRow("message to an unknown group")
        << int(Message) << QStringLiteral("no group") << QStringList{{}, {}, {}, {}};
    QTest::newRow("message to no key") << int(Message) << QString() << QStringList{{}, {}, {}, {}};
    // A system directly under the root belongs to no group and gets no list from a walk.
    QTest::newRow("white lists from the root")
        << int(WhiteList) << QStringLiteral("root") << QStringList{one, one, two, {}};
    QTest::newRow("white list of a group")
        << int(WhiteList) << QStringLiteral("G2") << QStringList{{}, {}, two, {}};
    QTest::newRow("white list of a system")
        << int(WhiteList) << QStringLiteral("A3") << QStringList{{}, one, {}, {}};
    QTest::newRow("block lists from the root") << int(BlockList) << QStringLiteral("root")
                                               << QStringList{QStringLiteral("B|1|one.exe|"),
                                                              QStringLiteral("B|1|one.exe|"),
                                                              QStringLiteral("B|1|two.exe|"),
                                                              {}};
    QTest::newRow("block list of a system without group")
        << int(BlockList) << QStringLiteral("R1") << QStringList{{}, {}, {}, QStringLiteral("B|0|")};
}

void TestMessenger::walks() {
    QFETCH(int, walk);
    QFETCH(QString, from);
    QFETCH(QStringList, received);
    TwoGroupScene s;
    Messenger& messenger = s.link.messenger();
    const QString key = keyOf(s, from);
    if (walk == Message)
        messenger.Enumerate_Childs_And_Send_Message(key, QStringLiteral("V"));
    else if (walk == WhiteList)
        messenger.Enumerate_Childs_And_Send_URL(key);
    else
        messenger.Enumerate_Childs_And_Send_Programs(key);
    const QList<std::pair<SimulatedClient*, QString>> clients = {
        {s.a1, s.a1Key}, {s.a3, s.a3Key}, {s.b1, s.b1Key}, {s.r1, s.r1Key}};
    for (qsizetype i = 0; i < clients.size(); ++i)
        QCOMPARE(s.received(clients[i].first, clients[i].second),
                 received[i].isEmpty() ? QStringList() : QStringList{received[i]});
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
    QCOMPARE(s.received(s.b1, s.b1Key), QStringList());
    QCOMPARE(s.received(s.r1, s.r1Key), QStringList());
}

QTEST_GUILESS_MAIN(TestMessenger)
#include "tst_messenger.moc"
