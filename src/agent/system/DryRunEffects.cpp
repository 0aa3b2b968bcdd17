#include "system/DryRunEffects.h"

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

} // namespace kestrava::agent
