#include "agent/system/HostEffects.h"

#include "agent/desktop/DesktopNotifier.h"
#include "agent/desktop/SessionLocker.h"
#include "agent/enforce/Nftables.h"
#include "agent/enforce/RulesetBuilder.h"
#include "agent/procs/ExecWatcher.h"
#include "agent/procs/LoginDefs.h"
#include "agent/system/ServiceNotifier.h"
#include "protocol/ConsoleTimeText.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <time.h>

Q_LOGGING_CATEGORY(lcEffects, "kestrava.agent.effects")

namespace kestrava::agent {

HostEffects::HostEffects(QString stateDir)
    : m_stateDir(std::move(stateDir))
    , m_stateFile(m_stateDir)
    , m_uidMin(LoginDefs::uidMin())
    , m_service(std::make_unique<ServiceNotifier>())
    , m_dns(std::make_unique<DnsForwarder>())
    , m_execWatcher(std::make_unique<ExecWatcher>())
    , m_notifier(std::make_unique<DesktopNotifier>())
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

void HostEffects::startDns(const DnsForwarderConfig& config) {
    m_dns->start(DnsForwarder::systemConfig(config));
}

void HostEffects::stopDns() {
    m_dns->stop();
}

Effects::DnsState HostEffects::dnsState() const {
    return {.up = m_dns->isUp(), .wanted = m_dns->isWanted(), .uid = m_dns->uid()};
}

void HostEffects::onDnsChanged(QObject* context, std::function<void()> changed) {
    QObject::connect(m_dns.get(), &DnsForwarder::up, context, changed);
    QObject::connect(m_dns.get(), &DnsForwarder::down, context, changed);
}

QStringList HostEffects::resolvers() const {
    QFile resolvConf(DnsForwarder::resolvConfPath());
    if (!resolvConf.open(QIODevice::ReadOnly))
        return {};
    return DnsForwarder::upstreamResolvers(QString::fromUtf8(resolvConf.readAll()));
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

QList<uid_t> HostEffects::sessionUsers() const {
    QList<uid_t> users;
    for (const QString& name :
         QDir(QStringLiteral("/run/user")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const uint uid = name.toUInt(&ok);
        if (ok)
            users.append(uid);
    }
    return users;
}

ProcessTable HostEffects::processTable() const {
    return ProcessTable();
}

ExecWatcher* HostEffects::execWatcher() {
    return m_execWatcher.get();
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

void HostEffects::serviceReady() {
    m_service->ready();
}

std::optional<SavedState> HostEffects::loadState(QString* error) const {
    return m_stateFile.load(error);
}

bool HostEffects::saveState(const SavedState& state, QString* error) {
    return m_stateFile.save(state, error);
}

void HostEffects::removeState() {
    m_stateFile.removeAll();
}

QString HostEffects::statePath() const {
    return m_stateFile.path();
}

ConsolePin HostEffects::consolePin() const {
    return ConsolePin(m_stateDir);
}

ClockReading HostEffects::clock() const {
    // CLOCK_BOOTTIME goes on while the computer sleeps, so the console's time stays right after a resume.
    timespec boot{};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    const QDateTime local = QDateTime::currentDateTime();
    return {.monotonicMs = qint64(boot.tv_sec) * 1000 + boot.tv_nsec / 1000000,
            .local = ConsoleTimeText::naive(local.date(), local.time())};
}

} // namespace kestrava::agent
