#include "system/HostEffects.h"

#include "desktop/DesktopNotifier.h"
#include "desktop/SessionLocker.h"
#include "enforce/Nftables.h"
#include "enforce/RulesetBuilder.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QLoggingCategory>
#include <cerrno>
#include <csignal>
#include <cstring>

Q_LOGGING_CATEGORY(lcEffects, "kestrava.agent.effects")

namespace kestrava::agent {

HostEffects::HostEffects()
    : m_notifier(std::make_unique<DesktopNotifier>())
    , m_locker(std::make_unique<SessionLocker>()) {}

HostEffects::~HostEffects() = default;

bool HostEffects::applyRuleset(const QString& script) {
    QString error;
    if (!Nftables::run(script, &error)) {
        qCWarning(lcEffects).noquote() << "nftables refused the new rules, the old ones stay:" << error;
        return false;
    }
    qCInfo(lcEffects) << "nftables table inet kestrava replaced";
    qCDebug(lcEffects).noquote() << script;
    return true;
}

bool HostEffects::removeRuleset() {
    QString error;
    if (!Nftables::run(RulesetBuilder::removal(), &error)) {
        qCWarning(lcEffects).noquote() << "could not remove the nftables table inet kestrava:" << error;
        return false;
    }
    qCInfo(lcEffects) << "nftables table inet kestrava removed";
    return true;
}

std::optional<QString> HostEffects::rulesetInForce() {
    return Nftables::listTable(QLatin1String(RulesetBuilder::kTable));
}

bool HostEffects::signalProcess(pid_t pid, int signal) {
    if (::kill(pid, signal) != 0) {
        if (errno != ESRCH)
            qCWarning(lcEffects) << "could not signal process" << pid << ":" << std::strerror(errno);
        return false;
    }
    qCInfo(lcEffects) << "sent" << sigabbrev_np(signal) << "to process" << pid;
    return true;
}

void HostEffects::notifyUser(uid_t uid, const QString& summary, const QString& body) {
    qCInfo(lcEffects).noquote() << "notification to user" << uid << ":" << summary << "-" << body;
    m_notifier->notify(uid, summary, body);
}

void HostEffects::lockSessions(bool lock) {
    qCInfo(lcEffects) << (lock ? "locking the graphical sessions" : "unlocking the graphical sessions");
    m_locker->setLocked(lock);
}

void HostEffects::disableUnit() {
    QDBusInterface manager(QStringLiteral("org.freedesktop.systemd1"),
                           QStringLiteral("/org/freedesktop/systemd1"),
                           QStringLiteral("org.freedesktop.systemd1.Manager"), QDBusConnection::systemBus());
    if (!manager.isValid()) {
        qCInfo(lcEffects) << "no systemd on the system bus: the unit is left as it is";
        return;
    }
    const QDBusMessage reply = manager.call(QStringLiteral("DisableUnitFiles"),
                                            QStringList{QStringLiteral("kestrava-agent.service")}, false);
    if (reply.type() == QDBusMessage::ErrorMessage)
        qCWarning(lcEffects).noquote() << "could not disable kestrava-agent.service:" << reply.errorMessage();
    else
        qCInfo(lcEffects) << "kestrava-agent.service disabled";
}

} // namespace kestrava::agent
