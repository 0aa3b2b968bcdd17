#pragma once

#include "system/Effects.h"

namespace kestrava::agent {

// --dry-run: says what would be done and touches nothing.
class DryRunEffects : public Effects {
public:
    bool applyRuleset(const QString& script) override;
    bool removeRuleset() override;
    std::optional<QString> rulesetInForce() override;
    bool signalProcess(pid_t pid, int signal) override;
    void notifyUser(uid_t uid, const QString& summary, const QString& body) override;
    void lockSessions(bool lock) override;
    void disableUnit() override;
};

} // namespace kestrava::agent
