#pragma once

#include "core/link/KeyPins.h"

#include <QObject>
#include <QString>
#include <QStringView>
#include <chrono>

namespace kestrava {

class Clock;
class ConnectionManager;
class Database;
class Messenger;
class SystemTree;

// Everything client services send: identification, status reports and the requests for schedule,
// settings, white list and block list. A failure while handling one message is reported and ends
// that message only; the connection stays open and the console goes on. A new system whose row cannot be
// stored is tried once more after kRecordRetry; when that fails too its connection is closed, so that the
// client service connects and identifies again.
class IncomingMessages : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kRecordRetry{1000};

    IncomingMessages(Database& db, SystemTree& tree, const Clock& clock, ConnectionManager& connections,
                     Messenger& messenger, QObject* parent = nullptr);

    // One message of the connection in slot index; the owner connects ConnectionManager::messageReceived
    // here.
    void handleMessage(int index, const QString& message);

    // The identification's payload (after its letter). A wrong version is answered with "T"; a system
    // whose pinned key the connection does not prove is refused and the connection closed; otherwise the
    // system is recorded when it was never seen before (with the key of an authenticated connection) and
    // only then the slot is tied to it.
    bool Identify_Client(const QString& payload, int index);
    // The status report's payload: its code, e.g. "IN".
    void Report_Client_Status(const QString& payload, int index);

    // "Internet ON " and the others; empty for a code that is none of the six.
    static QString statusText(QStringView code);

signals:
    // "number: description".
    void errorOccurred(const QString& message);
    // One line for an identification refused for its key.
    void identificationRefused(const QString& line);

private:
    void identify(int index, const QString& payload, bool mayRetry);
    void recordNewSystem(const QString& key, const QString& name, const QByteArray& digest);

    Database& m_db;
    SystemTree& m_tree;
    const Clock& m_clock;
    ConnectionManager& m_connections;
    Messenger& m_messenger;
    KeyPins m_pins;
};

} // namespace kestrava
