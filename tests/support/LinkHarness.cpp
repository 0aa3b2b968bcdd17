#include "LinkHarness.h"

#include "SimulatedClient.h"
#include "core/console/TreeLoader.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

namespace {
constexpr int kWaitMs = 5000;
}

LinkHarness::LinkHarness()
    : m_clock(QDateTime(QDate(2026, 3, 12), QTime(10, 0, 0)))
    , m_connections(m_temp.db(), m_tree)
    , m_messenger(m_temp.db(), m_tree, m_connections, m_clock)
    , m_incoming(m_temp.db(), m_tree, m_clock, m_connections, m_messenger) {
    QObject::connect(&m_connections, &ConnectionManager::messageReceived, &m_incoming,
                     &IncomingMessages::handleMessage);
    QObject::connect(&m_incoming, &IncomingMessages::errorOccurred,
                     [this](const QString& message) { m_errors << message; });
    QObject::connect(&m_connections, &ConnectionManager::connectionAccepted,
                     [this](int index) { m_lastSlot = index; });
    m_connections.setIdentificationWait(std::chrono::milliseconds(200));
    // Port 0: any free port.
    m_temp.db().exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=0"));
    if (!m_connections.Start_Listening())
        qFatal("cannot listen: %s", qPrintable(m_connections.listenError()));
    loadTree();
}

LinkHarness::~LinkHarness() {
    m_connections.Close_All_Sockets();
    m_clients.clear();
}

void LinkHarness::loadTree() {
    Load_Systems_Tree(m_temp.db(), m_tree);
}

SimulatedClient* LinkHarness::connectClient() {
    auto client = std::make_unique<SimulatedClient>();
    QSignalSpy accepted(&m_connections, &ConnectionManager::connectionAccepted);
    client->connectTo(QStringLiteral("127.0.0.1"), m_connections.listeningPort());
    if (!QTest::qWaitFor([&] { return client->isConnected() && accepted.size() > 0; }, kWaitMs))
        return nullptr;
    m_clients.push_back(std::move(client));
    return m_clients.back().get();
}

SimulatedClient* LinkHarness::connectIdentified(const QString& identifier, const QString& name) {
    SimulatedClient* client = connectClient();
    if (!client)
        return nullptr;
    client->identify(identifier, name);
    if (!waitForArrivals(client, 2))
        return nullptr;
    client->clearArrivals();
    return client;
}

bool LinkHarness::waitForArrivals(SimulatedClient* client, int count) {
    return client && QTest::qWaitFor([&] { return client->arrivals().size() >= count; }, kWaitMs);
}

QStringList LinkHarness::shown(SimulatedClient* client) {
    QStringList texts;
    if (!client)
        return {QStringLiteral("no client")};
    for (const QString& message : client->arrivals())
        texts << SimulatedClient::displayText(message);
    return texts;
}
