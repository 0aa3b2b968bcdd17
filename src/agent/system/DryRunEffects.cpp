#include "agent/system/DryRunEffects.h"

#include <QLoggingCategory>
#include <cstring>

Q_LOGGING_CATEGORY(lcDryRun, "kestrava.agent.dryrun")

namespace kestrava::agent {

bool DryRunEffects::applyRuleset(const QString& script) {
    qCInfo(lcDryRun).noquote() << "would apply with nft -f:\n" << script;
    return true;
}

bool DryRunEffects::removeRuleset() {
    qCInfo(lcDryRun) << "would remove the nftables table inet kestrava";
    return true;
}

std::optional<QString> DryRunEffects::rulesetInForce() {
    // Nothing is applied, so nothing can have been changed behind the agent's back.
    return QString();
}

void DryRunEffects::startDns(const DnsForwarderConfig& config) {
    // Once per configuration, as the forwarder restarts only when it changes.
    if (config == m_dnsConfig)
        return;
    m_dnsConfig = config;
    qCInfo(lcDryRun).noquote() << "would run dnsmasq with internet" << (config.internetOff ? "off" : "on")
                               << "and the white list" << config.whiteList.join(QLatin1Char(' '));
}

void DryRunEffects::stopDns() {
    qCInfo(lcDryRun) << "would stop dnsmasq";
}

bool DryRunEffects::signalProcess(pid_t pid, int signal) {
    qCInfo(lcDryRun) << "would send" << sigabbrev_np(signal) << "to process" << pid;
    return true;
}

void DryRunEffects::notifyUser(uid_t uid, const QString& summary, const QString& body) {
    qCInfo(lcDryRun).noquote() << "would notify user" << uid << ":" << summary << "-" << body;
}

void DryRunEffects::lockSessions(bool lock) {
    qCInfo(lcDryRun) << "would" << (lock ? "lock" : "unlock") << "the graphical sessions";
}

void DryRunEffects::disableUnit() {
    qCInfo(lcDryRun) << "would disable kestrava-agent.service";
}

bool DryRunEffects::saveState(const SavedState&, QString*) {
    // Every order saves: said at debug level only.
    qCDebug(lcDryRun) << "would save the state in" << statePath();
    return true;
}

void DryRunEffects::removeState() {
    qCInfo(lcDryRun) << "would remove the state folder" << stateDir();
}

ConsolePin DryRunEffects::consolePin() const {
    return ConsolePin(stateDir(), true);
}

} // namespace kestrava::agent
