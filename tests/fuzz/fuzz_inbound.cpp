// What a network peer can send: arrivals cut into messages, the messages read field by field and
// dispatched, identifications recorded in a real database file. Two peers hold real slots of the
// connection manager; their bytes go through splitters straight into the dispatch, so the run does not
// wait on the network.

#include "FuzzSupport.h"
#include "TempDatabase.h"
#include "core/console/SystemTree.h"
#include "core/console/TreeLoader.h"
#include "core/link/ConnectionManager.h"
#include "core/link/IncomingMessages.h"
#include "core/link/Messenger.h"
#include "core/startup/Clock.h"
#include "protocol/InboundSplitter.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>
#include <array>
#include <memory>

using namespace kestrava;
using namespace std::chrono_literals;

namespace {

constexpr int kPeers = 2;

class Console {
public:
    Console()
        : m_clock(QDateTime(QDate(2026, 3, 12), QTime(10, 0, 0)))
        , m_connections(m_temp.db(), m_tree)
        , m_messenger(m_temp.db(), m_tree, m_connections, m_clock)
        , m_incoming(m_temp.db(), m_tree, m_clock, m_connections, m_messenger) {
        QObject::connect(&m_incoming, &IncomingMessages::errorOccurred,
                         [this](const QString& message) { m_errors << message; });
        m_connections.setSendSpacing(0ms);
        db().exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=0"));
        db().exec(QStringLiteral("INSERT INTO Group_Table(Group_Key,Group_Name) VALUES(?,?)"),
                  {QStringLiteral("g\u00c7LAB"), QStringLiteral("Lab")});
        if (!m_connections.Start_Listening())
            fuzz::fail("cannot listen", m_connections.listenError());
    }

    Database& db() { return m_temp.db(); }

    // Every input starts from the same state: no systems, both peers connected and unidentified.
    void reset(bool addToLab) {
        db().exec(QStringLiteral("DELETE FROM System_Table"));
        db().exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup=?"),
                  {addToLab ? QStringLiteral("Lab") : QString()});
        Load_Systems_Tree(db(), m_tree);
        m_errors.clear();
        for (int i = 0; i < kPeers; ++i) {
            if (m_slots[i] == 0 || !m_connections.isConnected(m_slots[i]))
                connectPeer(i);
            m_connections.setTag(m_slots[i], QString());
            m_splitters[i] = std::make_unique<InboundSplitter>(0ms);
            QObject::connect(
                m_splitters[i].get(), &InboundSplitter::identificationTimedOut,
                [this, i](const QString& message) { m_incoming.handleMessage(m_slots[i], message); });
        }
    }

    void arrive(int peer, const QByteArray& bytes) {
        for (const QString& message : m_splitters[peer]->feed(bytes))
            m_incoming.handleMessage(m_slots[peer], message);
    }

    // A held-back identification is handled once its wait is over.
    void finish() {
        for (int i = 0; i < kPeers; ++i) {
            if (!m_splitters[i]->isHoldingBack())
                continue;
            // The wait is 0 ms here: one pass of the event loop ends it.
            QSignalSpy timedOut(m_splitters[i].get(), &InboundSplitter::identificationTimedOut);
            static_cast<void>(QTest::qWaitFor([&] { return !timedOut.isEmpty(); }, 0));
        }
    }

    void checkConsistency() {
        fuzz::check(m_errors.isEmpty(), "a peer's bytes made a database statement fail",
                    m_errors.join(QLatin1Char('\n')));
        int systems = 0;
        for (const TreeNode* node : m_tree.nodesInOrder())
            systems += node->key.startsWith(QLatin1Char('c')) ? 1 : 0;
        const int rows = db().scalar(QStringLiteral("SELECT count(*) FROM System_Table")).toInt();
        fuzz::check(systems == rows, "tree and System_Table disagree on the number of systems",
                    QString::number(systems) + QLatin1Char('/') + QString::number(rows));
        for (int i = 0; i < kPeers; ++i) {
            const QString tag = m_connections.tagOf(m_slots[i]);
            if (tag.isEmpty())
                continue;
            const TreeNode* node = m_tree.Get_Node_Index_From_Key(tag);
            fuzz::check(node && node->isConnected(), "an identified slot without its connected node", tag);
            QSqlQuery row = db().exec(
                QStringLiteral("SELECT System_Key FROM System_Table WHERE System_Key=?"), {node->key});
            fuzz::check(row.next(), "an identified system without its row", node->key);
            fuzz::check(row.value(0).toString() == node->key, "the stored key differs from the tree's",
                        node->key + QStringLiteral(" / ") + row.value(0).toString());
        }
    }

    // Lets the peers read what was sent to them, so that nothing piles up.
    void drain() { QTest::qWait(0); }

private:
    void connectPeer(int i) {
        if (m_slots[i] != 0)
            m_connections.Handle_Socket_Close(m_slots[i]);
        auto peer = std::make_unique<QTcpSocket>();
        QTcpSocket* raw = peer.get();
        QObject::connect(raw, &QTcpSocket::readyRead, [raw] { raw->readAll(); });
        QSignalSpy accepted(&m_connections, &ConnectionManager::connectionAccepted);
        raw->connectToHost(QStringLiteral("127.0.0.1"), m_connections.listeningPort());
        if (!QTest::qWaitFor([&] { return !accepted.isEmpty(); }, 5000))
            fuzz::fail("the console did not accept a peer", QString());
        m_slots[i] = accepted.constLast().at(0).toInt();
        m_peers[i] = std::move(peer);
    }

    TempDatabase m_temp;
    FixedClock m_clock;
    SystemTree m_tree;
    ConnectionManager m_connections;
    Messenger m_messenger;
    IncomingMessages m_incoming;
    QStringList m_errors;
    std::array<std::unique_ptr<QTcpSocket>, kPeers> m_peers;
    std::array<int, kPeers> m_slots{};
    std::array<std::unique_ptr<InboundSplitter>, kPeers> m_splitters;
};

Console* console = nullptr;
int runs = 0;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startApplication(argc, argv);
    static Console instance;
    console = &instance;
    return 0;
}

// Input: a byte of options (AddToGroup), then arrivals, each a byte choosing the peer and a chunk.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    console->reset(input.flag());
    while (!input.atEnd()) {
        const int peer = input.number(kPeers);
        console->arrive(peer, input.chunk());
    }
    console->finish();
    console->checkConsistency();
    if (++runs % 256 == 0)
        console->drain();
    return 0;
}
