#include "LinkHarness.h"
#include "SimulatedClient.h"
#include "core/console/Keys.h"
#include "core/console/SystemListModel.h"

#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <set>

using namespace kestrava;

// Many systems dropping at once, on real sockets: the list rows follow although their change signals
// are gathered, and every released connection is closed.
class TestMassDrop : public QObject {
    Q_OBJECT
private slots:
    void rowsAreRightAfterMassDrop_data();
    void rowsAreRightAfterMassDrop();
};

void TestMassDrop::rowsAreRightAfterMassDrop_data() {
    QTest::addColumn<int>("clients");
    QTest::addColumn<int>("dropEvery");
    QTest::addColumn<bool>("reset");
    QTest::newRow("all close") << 120 << 1 << false;
    QTest::newRow("all reset") << 120 << 1 << true;
    QTest::newRow("every third closes") << 120 << 3 << false;
    QTest::newRow("every seventh resets") << 120 << 7 << true;
}

void TestMassDrop::rowsAreRightAfterMassDrop() {
    QFETCH(int, clients);
    QFETCH(int, dropEvery);
    QFETCH(bool, reset);
    LinkHarness link;
    std::vector<std::unique_ptr<SimulatedClient>> peers;
    QStringList keys;
    for (int i = 0; i < clients; ++i) {
        const QString id = QStringLiteral("ID%1").arg(i);
        const QString name = QStringLiteral("PC%1").arg(i);
        keys << Keys::Make_System_Key(id, name);
        auto& peer = peers.emplace_back(std::make_unique<SimulatedClient>());
        connect(peer.get(), &SimulatedClient::connected, peer.get(),
                [client = peer.get(), id, name] { client->identify(id, name); });
        peer->connectTo(QStringLiteral("127.0.0.1"), link.connections().listeningPort());
    }
    const auto online = [&] {
        for (const QString& key : keys) {
            const TreeNode* node = link.tree().Get_Node_Index_From_Key(key);
            if (!node || !node->isConnected())
                return false;
        }
        return true;
    };
    QVERIFY(QTest::qWaitFor(online, 20000));

    SystemListModel list(link.tree());
    list.setRemoteAddressLookup([&](const QString& key) { return link.connections().remoteAddress(key); });
    QObject::connect(&link.connections(), &ConnectionManager::listItemChanged, &list,
                     &SystemListModel::refreshKey);
    list.Show_Node_In_List(link.tree().root());
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    std::set<int> dropped;
    for (int i = 0; i < clients; i += dropEvery) {
        dropped.insert(list.Get_List_Index_From_Key(keys[i]) - 1);
        reset ? peers[static_cast<std::size_t>(i)]->resetConnection()
              : peers[static_cast<std::size_t>(i)]->disconnectFromConsole();
    }
    QTRY_COMPARE_WITH_TIMEOUT(link.connections().socketIndexes().size(),
                              static_cast<std::size_t>(clients) - dropped.size(), 10000);
    QTRY_COMPARE(link.connections().closingCount(), std::size_t{0});
    // The gathered signals of a pass arrive when control is back in the event loop.
    const auto allSignalled = [&] {
        std::set<int> signalled;
        for (const QList<QVariant>& arguments : std::as_const(changed)) {
            for (int row = arguments.at(0).toModelIndex().row(); row <= arguments.at(1).toModelIndex().row();
                 ++row)
                signalled.insert(row);
        }
        return std::includes(signalled.begin(), signalled.end(), dropped.begin(), dropped.end());
    };
    QTRY_VERIFY(allSignalled());
    QVERIFY(changed.size() < static_cast<qsizetype>(dropped.size()));
    for (int i = 0; i < clients; ++i) {
        const int row = list.Get_List_Index_From_Key(keys[i]) - 1;
        QVERIFY(row >= 0);
        const ListRow shown = list.rowAt(row);
        const bool gone = dropped.count(row) > 0;
        QCOMPARE(shown.connectionStatus,
                 gone ? SystemListModel::notConnectedText() : SystemListModel::connectedText());
        QCOMPARE(shown.ipAddress, gone ? QString() : QStringLiteral("127.0.0.1"));
        QCOMPARE(shown.image, gone ? NodeImage::SystemOffline : NodeImage::SystemOnline);
    }
}

QTEST_MAIN(TestMassDrop)
#include "tst_massdrop.moc"
