#pragma once

#include "agent/config/AgentConfig.h"
#include "agent/core/AgentCore.h"
#include "agent/state/StateFile.h"

#include <QDateTime>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <memory>

namespace kestrava {
struct TlsIdentity;
}

namespace kestrava::agent {

class ConsoleLink;
class Effects;
class InstalledPrograms;
class ProgramBlocker;
class StatusServer;

// The shell around the agent's core: turns the link, the timers and the machine's news into events,
// and the core's actions into effects on the machine and messages to the console.
class Agent : public QObject {
    Q_OBJECT

public:
    // identity is the certificate presented on the console's TLS port; null: plain TCP only.
    Agent(AgentConfig config, Effects& effects, const TlsIdentity* identity, QObject* parent = nullptr);
    ~Agent() override;

    // Restores the saved orders, puts them in force and starts calling the console.
    void start();
    // Ends the link and takes the DNS redirect out of the rules before the process exits.
    void stop();

signals:
    // "T" or "U" was handled: the caller ends the process with this code.
    void finished(int exitCode);

private:
    void handle(const AgentEvent& event);
    void carryOut(const AgentAction& action);
    void lookUpConsole();
    void onMessage(const QString& message);
    void onConnected();
    void checkTable();
    void applyRules(const AgentAction& rules);
    void notifyEveryone(const QString& summary, const QString& body);
    void save();
    SavedState currentState() const;
    // What --status prints while the agent runs: the state in force and whether it could be saved.
    QString statusNow() const;

    AgentConfig m_config;
    Effects& m_effects;
    AgentState m_state;
    std::unique_ptr<ConsoleLink> m_link;
    std::unique_ptr<ProgramBlocker> m_blocker;
    std::unique_ptr<InstalledPrograms> m_installedPrograms; // only with user_programs = installed
    std::unique_ptr<StatusServer> m_statusServer;
    QList<QHostAddress> m_consoleAddresses;
    QTimer m_boundaryTimer;
    QTimer m_retryRulesTimer;
    QTimer m_tableCheckTimer;
    QString m_appliedScript;
    QString m_appliedListing; // the table as listed right after it was applied
    bool m_reapply = false;   // asked for and not yet done: the table is written even when unchanged
    bool m_flushDnsSets = false;
    QString m_saveError; // why the last save failed; empty once saved
    QDateTime m_lastContact;
};

} // namespace kestrava::agent
