#include "PolicyHarness.h"

#include "SimulatedClient.h"
#include "console/Keys.h"
#include "console/TreeLoader.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

PolicyHarness::PolicyHarness()
    : m_clock(QDateTime(QDate(2026, 3, 12), QTime(10, 0, 0)))
    , m_connections(m_temp.db(), m_tree)
    , m_messenger(m_temp.db(), m_tree, m_connections, m_clock)
    , m_incoming(m_temp.db(), m_tree, m_clock, m_connections, m_messenger) {
    QObject::connect(&m_connections, &ConnectionManager::messageReceived, &m_incoming,
                     &IncomingMessages::handleMessage);
    // Port 0: any free port.
    m_temp.db().exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=0"));
    m_connections.Start_Listening();
    loadTree();
}

PolicyHarness::~PolicyHarness() {
    m_clients.clear();
    m_connections.Close_All_Sockets();
}

void PolicyHarness::loadTree() {
    Load_Systems_Tree(m_temp.db(), m_tree);
}

SimulatedClient* PolicyHarness::connectClient(const QString& identifier, const QString& name) {
    auto client = std::make_unique<SimulatedClient>();
    QSignalSpy connected(client.get(), &SimulatedClient::connected);
    client->connectTo(QStringLiteral("127.0.0.1"), m_connections.listeningPort());
    if (!client->isConnected() && !connected.wait(5000))
        return nullptr;
    client->identify(identifier, name);
    if (!waitForArrivals(client.get(), 2))
        return nullptr;
    client->clearArrivals();
    m_clients.emplace_back(std::move(client), Keys::Make_System_Key(identifier, name));
    return m_clients.back().first.get();
}

QStringList PolicyHarness::receivedBy(SimulatedClient* client) {
    const QString marker = QStringLiteral("Z-marker");
    for (const auto& [known, key] : m_clients) {
        if (known.get() == client)
            m_connections.Send_Data_To_System(key, marker);
    }
    if (!QTest::qWaitFor([&] { return client->lastArrival() == marker; }, 5000))
        return {QStringLiteral("timeout")};
    QStringList received;
    for (const QString& message : client->arrivals()) {
        if (message != marker)
            received << SimulatedClient::displayText(message);
    }
    client->clearArrivals();
    return received;
}

bool PolicyHarness::waitForArrivals(SimulatedClient* client, int count) {
    return QTest::qWaitFor([&] { return client->arrivals().size() >= count; }, 5000);
}
