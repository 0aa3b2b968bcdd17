#pragma once

#include "config/AgentConfig.h"
#include "policy/ConsoleClock.h"
#include "policy/InternetDecision.h"
#include "policy/Policy.h"
#include "protocol/StatusReport.h"
#include "state/StateFile.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <memory>

namespace kestrava {
struct TlsIdentity;
}

namespace kestrava::agent {

class ConsoleLink;
class DnsForwarder;
class Effects;
class ExecWatcher;
class InstalledPrograms;
class ProgramBlocker;
class StatusServer;

// Turns what the console orders into enforcement on this computer and keeps it in force, also
// while the console is away: the one place where orders, clock, rules and reports meet.
class Agent : public QObject {
    Q_OBJECT

public:
    // dnsForwarder may be null (dry run): white-listed names are then only logged. identity is the
    // certificate presented on the console's TLS port; null: plain TCP only.
    Agent(AgentConfig config, Effects& effects, std::unique_ptr<DnsForwarder> dnsForwarder,
          const TlsIdentity* identity, QObject* parent = nullptr);
    ~Agent() override;

    // Restores the saved orders, puts them in force and starts calling the console.
    void start();
    // Ends the link and takes the DNS redirect out of the rules before the process exits.
    void stop();

signals:
    // "T" or "U" was handled: the caller ends the process with this code.
    void finished(int exitCode);

private:
    void restoreState();
    void lookUpConsole();
    void handleMessage(const QString& message);
    void handleSchedule(const Schedule& schedule);
    void handleFlag(int code);
    void teardown(bool uninstall);
    void onConnected();
    void onDisconnected();
    void evaluate();
    void applyRules();
    // Puts the table back when it is missing or differs from what was applied (flushed by hand).
    void checkTable();
    void startDns();
    void report(StatusReport code);
    void notifyEveryone(const QString& summary, const QString& body);
    void onProgramEnded(uid_t uid, const QString& program);
    void save();
    SavedState currentState() const;
    // What --status prints while the agent runs: the state in force and whether it could be saved.
    QString statusNow() const;
    QString noticeFor(const Decision& decision) const;

    AgentConfig m_config;
    Effects& m_effects;
    std::unique_ptr<DnsForwarder> m_dns;
    std::unique_ptr<ConsoleLink> m_link;
    std::unique_ptr<ExecWatcher> m_execWatcher;
    std::unique_ptr<ProgramBlocker> m_blocker;
    std::unique_ptr<InstalledPrograms> m_installedPrograms; // only with user_programs = installed
    std::unique_ptr<StatusServer> m_statusServer;
    StateFile m_stateFile;
    Orders m_orders;
    ConsoleClock m_clock;
    QList<QHostAddress> m_consoleAddresses;
    QTimer m_boundaryTimer;
    QTimer m_retryRulesTimer;
    QTimer m_tableCheckTimer;
    std::optional<bool> m_internetOn; // last state put in force and reported
    bool m_timerRunning = false;
    bool m_flushDnsSets = false;
    bool m_stopping = false;
    QString m_appliedScript;
    QString m_appliedListing; // the table as listed right after it was applied
    bool m_reapply = false;   // the next applyRules() writes the table even when its text is unchanged
    QString m_saveError;      // why the last save failed; empty once saved
    QDateTime m_lastContact;
    uid_t m_uidMin = 1000;
};

} // namespace kestrava::agent
