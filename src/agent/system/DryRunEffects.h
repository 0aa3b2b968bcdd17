#pragma once

#include "agent/system/HostEffects.h"

namespace kestrava::agent {

// --dry-run: reads the machine as the host does, says what it would change and changes nothing.
class DryRunEffects : public HostEffects {
public:
    using HostEffects::HostEffects;

    bool applyRuleset(const QString& script) override;
    bool removeRuleset() override;
    std::optional<QString> rulesetInForce() override;
    void startDns(const DnsForwarderConfig& config) override;
    void stopDns() override;
    DnsState dnsState() const override { return {}; }
    bool signalProcess(pid_t pid, int signal) override;
    void notifyUser(uid_t uid, const QString& summary, const QString& body) override;
    void lockSessions(bool lock) override;
    void disableUnit() override;
    bool saveState(const SavedState& state, QString* error) override;
    void removeState() override;
    ConsolePin consolePin() const override;

private:
    DnsForwarderConfig m_dnsConfig;
};

} // namespace kestrava::agent
