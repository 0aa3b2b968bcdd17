#pragma once

#include "system/Effects.h"

#include <memory>

namespace kestrava::agent {

class DesktopNotifier;
class SessionLocker;

// The machine itself: nftables, signals, the users' desktops, logind and systemd.
class HostEffects : public Effects {
public:
    HostEffects();
    ~HostEffects() override;

    bool applyRuleset(const QString& script) override;
    bool removeRuleset() override;
    std::optional<QString> rulesetInForce() override;
    bool signalProcess(pid_t pid, int signal) override;
    void notifyUser(uid_t uid, const QString& summary, const QString& body) override;
    void lockSessions(bool lock) override;
    void disableUnit() override;

private:
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<SessionLocker> m_locker;
};

} // namespace kestrava::agent
