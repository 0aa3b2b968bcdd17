#pragma once

#include "TempDatabase.h"
#include "console/SystemTree.h"
#include "link/ConnectionManager.h"
#include "link/IncomingMessages.h"
#include "link/Messenger.h"
#include "startup/Clock.h"

#include <QString>
#include <memory>
#include <utility>
#include <vector>

namespace kestrava {
class SimulatedClient;
}

// A console core on a free port of 127.0.0.1 over a fresh database, with the clock standing still and
// simulated client services that connect to it.
class PolicyHarness {
public:
    PolicyHarness();
    ~PolicyHarness();

    kestrava::Database& db() { return m_temp.db(); }
    kestrava::SystemTree& tree() { return m_tree; }
    kestrava::FixedClock& clock() { return m_clock; }
    kestrava::Messenger& messenger() { return m_messenger; }

    // Rebuilds the tree from the database, as start-up does.
    void loadTree();
    // Connects a client that identifies itself and waits until it has its identification answers ("F"
    // and "S"), which are then forgotten. Returns nullptr when that does not happen in time.
    kestrava::SimulatedClient* connectClient(const QString& identifier, const QString& name);
    // What the client received since the last call, separators shown as '|'. A marker sent after
    // everything else shows that nothing more is on its way; {"timeout"} when it does not arrive.
    QStringList receivedBy(kestrava::SimulatedClient* client);

private:
    bool waitForArrivals(kestrava::SimulatedClient* client, int count);

    TempDatabase m_temp;
    kestrava::FixedClock m_clock;
    kestrava::SystemTree m_tree;
    kestrava::ConnectionManager m_connections;
    kestrava::Messenger m_messenger;
    kestrava::IncomingMessages m_incoming;
    std::vector<std::pair<std::unique_ptr<kestrava::SimulatedClient>, QString>> m_clients;
};
