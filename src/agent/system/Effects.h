#pragma once

#include "agent/enforce/DnsForwarder.h"
#include "agent/policy/ConsoleClock.h"
#include "agent/procs/ProcessTable.h"
#include "agent/state/ConsolePin.h"
#include "agent/state/StateFile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <sys/types.h>

namespace kestrava::agent {

class ExecWatcher;

// Everything the agent reads from or changes on the machine goes through here, so that --dry-run and
// the tests can stand in for the machine. Each implementation logs each change once.
class Effects {
public:
    // The DNS forwarder as it runs now.
    struct DnsState {
        bool up = false;     // answering on its port
        bool wanted = false; // running or about to run again
        uid_t uid = 0;       // whose queries are not redirected, valid while up
    };

    virtual ~Effects() = default;

    // Replaces the agent's nftables table in one transaction; false (and the old table stays) on failure.
    virtual bool applyRuleset(const QString& script) = 0;
    // Removes the table inet kestrava if it exists.
    virtual bool removeRuleset() = 0;
    // The table inet kestrava as it is in force now, set elements left out; nothing when it is missing.
    // Compared with what it was right after applyRuleset to find a table flushed or changed by hand.
    virtual std::optional<QString> rulesetInForce() = 0;

    // Runs the DNS forwarder with this configuration (restarted only when it changes); stopDns ends it.
    virtual void startDns(const DnsForwarderConfig& config) = 0;
    virtual void stopDns() = 0;
    virtual DnsState dnsState() const = 0;
    // Called whenever the forwarder comes up or goes down, while context lives.
    virtual void onDnsChanged(QObject* context, std::function<void()> changed) = 0;
    // The resolvers the machine's DNS goes to, for the rules that let them through.
    virtual QStringList resolvers() const = 0;

    virtual bool signalProcess(pid_t pid, int signal) = 0;
    // The users with a session (a runtime folder), and the first uid of a person (UID_MIN).
    virtual QList<uid_t> sessionUsers() const = 0;
    virtual uid_t uidMin() const = 0;
    virtual ProcessTable processTable() const = 0;
    // Exec and fork events of the kernel, for program identity; null where there are none.
    virtual ExecWatcher* execWatcher() = 0;

    // A desktop notification in the graphical sessions of uid, through a helper running as that user.
    virtual void notifyUser(uid_t uid, const QString& summary, const QString& body) = 0;
    // Locks (true) or unlocks every graphical session through logind.
    virtual void lockSessions(bool lock) = 0;
    // Disables the agent's own systemd unit (uninstall).
    virtual void disableUnit() = 0;
    // Tells systemd the agent is ready, then keeps its watchdog fed.
    virtual void serviceReady() = 0;

    // The fail-closed memory of the agent (see StateFile).
    virtual std::optional<SavedState> loadState(QString* error) const = 0;
    virtual bool saveState(const SavedState& state, QString* error) = 0;
    virtual void removeState() = 0;
    virtual QString statePath() const = 0;
    // Where the console's key is pinned at the first handshake.
    virtual ConsolePin consolePin() const = 0;

    virtual ClockReading clock() const = 0;
};

} // namespace kestrava::agent
