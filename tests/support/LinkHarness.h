#pragma once

#include "TempDatabase.h"
#include "core/console/SystemTree.h"
#include "core/link/ConnectionManager.h"
#include "core/link/IncomingMessages.h"
#include "core/link/Messenger.h"
#include "core/startup/Clock.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace kestrava {
class SimulatedClient;
}

// The console's link on a free port of 127.0.0.1 over a fresh database, the clock standing still,
// with simulated client services to connect to it. Errors the link reports are collected.
class LinkHarness {
public:
    LinkHarness();
    ~LinkHarness();

    kestrava::Database& db() { return m_temp.db(); }
    kestrava::SystemTree& tree() { return m_tree; }
    kestrava::FixedClock& clock() { return m_clock; }
    kestrava::ConnectionManager& connections() { return m_connections; }
    kestrava::Messenger& messenger() { return m_messenger; }
    kestrava::IncomingMessages& incoming() { return m_incoming; }
    const QStringList& errors() const { return m_errors; }

    // Rebuilds the tree from the database, as start-up does.
    void loadTree();
    // A connected client that the console has accepted, not yet identified; nullptr on time-out.
    kestrava::SimulatedClient* connectClient();
    // The slot on which the console accepted the last client.
    int lastSlot() const { return m_lastSlot; }
    // A client that identified itself and got its two answers, which are then forgotten.
    kestrava::SimulatedClient* connectIdentified(const QString& identifier, const QString& name);
    static bool waitForArrivals(kestrava::SimulatedClient* client, int count);
    // The arrivals with separators shown as '|'.
    static QStringList shown(kestrava::SimulatedClient* client);

private:
    TempDatabase m_temp;
    kestrava::FixedClock m_clock;
    kestrava::SystemTree m_tree;
    kestrava::ConnectionManager m_connections;
    kestrava::Messenger m_messenger;
    kestrava::IncomingMessages m_incoming;
    QStringList m_errors;
    int m_lastSlot = 0;
    std::vector<std::unique_ptr<kestrava::SimulatedClient>> m_clients;
};
