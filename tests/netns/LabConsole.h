#pragma once

#include "core/console/SystemTree.h"
#include "core/link/ConnectionManager.h"
#include "core/link/IncomingMessages.h"
#include "core/link/Messenger.h"
#include "core/link/SecureListener.h"
#include "core/options/OptionsModel.h"
#include "core/policy/PolicyCommands.h"
#include "core/startup/Clock.h"
#include "core/store/Database.h"

#include <QTemporaryDir>
#include <functional>

// The console's core in this process over a fresh database, its clock standing still: new systems join
// the group "Lab", whose policy, lists and the settings are changed the way the console's windows do.
class LabConsole {
public:
    static constexpr const char* kGroup = "Lab";

    explicit LabConsole(const QDateTime& clockAt);
    ~LabConsole();

    // The lab's namespace is the console's own: its usual port is free (ports above 32767 it refuses).
    static constexpr quint16 kPort = 8999;

    bool listen() { return m_connections.isListening() || m_connections.Start_Listening(); }
    // The authenticated port, LocalPort + 1, with the console's key made beside its database.
    bool listenSecure() { return m_secure.isListening() || m_secure.listen(kPort + 1); }
    const kestrava::TlsIdentity& identity() const { return m_secure.identity(); }
    const kestrava::SecureListener& secure() const { return m_secure; }
    // Closes the listener and every connection, as when the console ends.
    void stopListening() {
        m_secure.close();
        m_connections.Close_All_Sockets();
    }

    QString groupKey() const;

    bool isConnected(const QString& systemKey) const;
    // Every status code reported ("IN", "TF" ...), oldest first (the tree shows only the last one).
    const QStringList& reports() const { return m_reports; }
    // Whether code is reported after the first mark reports, waiting at most timeoutMs for it.
    bool waitForReport(qsizetype mark, const QString& code, int timeoutMs = 15000) const;

    void setInternet(bool on) { m_policy.setInternet(groupKey(), on); }
    // The same, then waits until the agent reports that state, unless it already did as its last.
    bool setInternetReported(bool on);
    // Into the catalogue, onto the group's list and sent, as the list windows do on closing.
    void allowSite(const QString& url);
    void blockProgram(const QString& name);
    // The "Other" controlled protocol's port, sent to every connected system; 0 for none.
    void setControlledPort(int port);
    // "Accept client services only over the authenticated link" applied as Options does.
    void setSecureOnly(bool on);
    // "V": the group's systems show their notifications to users.
    void showNotifications();

private:
    // Applied as the Options window does, after change.
    kestrava::ApplyResult applyOptions(const std::function<void(kestrava::OptionsValues&)>& change);

    QTemporaryDir m_dir;
    kestrava::Database m_db;
    kestrava::FixedClock m_clock;
    kestrava::SystemTree m_tree;
    kestrava::ConnectionManager m_connections;
    kestrava::SecureListener m_secure;
    kestrava::Messenger m_messenger;
    kestrava::IncomingMessages m_incoming;
    kestrava::PolicyCommands m_policy;
    QStringList m_reports;
};
