#pragma once

#include "agent/state/StateFile.h"
#include "agent/system/Effects.h"

#include <memory>

namespace kestrava::agent {

class DesktopNotifier;
class ServiceNotifier;
class SessionLocker;

// The machine itself: nftables, dnsmasq, signals, /proc and /run/user, the users' desktops, logind,
// systemd and the state folder.
class HostEffects : public Effects {
public:
    // Takes systemd's notification socket from the environment: build it before any child starts.
    explicit HostEffects(QString stateDir);
    ~HostEffects() override;

    bool applyRuleset(const QString& script) override;
    bool removeRuleset() override;
    std::optional<QString> rulesetInForce() override;
    void startDns(const DnsForwarderConfig& config) override;
    void stopDns() override;
    DnsState dnsState() const override;
    void onDnsChanged(QObject* context, std::function<void()> changed) override;
    QStringList resolvers() const override;
    bool signalProcess(pid_t pid, int signal) override;
    QList<uid_t> sessionUsers() const override;
    uid_t uidMin() const override { return m_uidMin; }
    ProcessTable processTable() const override;
    ExecWatcher* execWatcher() override;
    void notifyUser(uid_t uid, const QString& summary, const QString& body) override;
    void lockSessions(bool lock) override;
    void disableUnit() override;
    void serviceReady() override;
    std::optional<SavedState> loadState(QString* error) const override;
    bool saveState(const SavedState& state, QString* error) override;
    void removeState() override;
    QString statePath() const override;
    ConsolePin consolePin() const override;
    ClockReading clock() const override;

protected:
    const QString& stateDir() const { return m_stateDir; }

private:
    QString m_stateDir;
    StateFile m_stateFile;
    uid_t m_uidMin;
    std::unique_ptr<ServiceNotifier> m_service;
    std::unique_ptr<DnsForwarder> m_dns;
    std::unique_ptr<ExecWatcher> m_execWatcher;
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<SessionLocker> m_locker;
};

} // namespace kestrava::agent
