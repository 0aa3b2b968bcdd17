#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

namespace kestrava::agent {

// Every change the agent makes to the machine goes through here, so that --dry-run and the tests
// can stand in for the machine. Each implementation logs each effect once.
class Effects {
public:
    virtual ~Effects() = default;

    // Replaces the agent's nftables table in one transaction; false (and the old table stays) on failure.
    virtual bool applyRuleset(const QString& script) = 0;
    // Removes the table inet kestrava if it exists.
    virtual bool removeRuleset() = 0;
    // The table inet kestrava as it is in force now, set elements left out; nothing when it is missing.
    // Compared with what it was right after applyRuleset to find a table flushed or changed by hand.
    virtual std::optional<QString> rulesetInForce() = 0;
    virtual bool signalProcess(pid_t pid, int signal) = 0;
    // A desktop notification in the graphical sessions of uid.
    virtual void notifyUser(uid_t uid, const QString& summary, const QString& body) = 0;
    // Locks (true) or unlocks every graphical session through logind.
    virtual void lockSessions(bool lock) = 0;
    // Disables the agent's own systemd unit (uninstall).
    virtual void disableUnit() = 0;
};

} // namespace kestrava::agent
