#pragma once

#include <QAbstractEventDispatcher>
#include <QAtomicInt>
#include <QHash>
#include <QMultiHash>
#include <QSocketNotifier>
#include <chrono>
#include <functional>
#include <map>
#include <unordered_map>
#include <vector>

namespace kestrava {

// The console's event dispatcher on Linux. Socket notifiers live in one epoll set, so a pass costs the
// number of sockets that are ready, not the number that are held: Qt's Unix dispatcher rebuilds and
// polls the whole descriptor list on every pass, which dominates at tens of thousands of connections.
// Timers are kept ordered by due time and looked up by id. Wake-ups go through an eventfd.
class EpollEventDispatcher : public QAbstractEventDispatcher {
    Q_OBJECT
public:
    // Runs once per pass after the sockets and timers, never blocking; the GUI hands the window
    // system's own work in here.
    using PlatformPass = std::function<bool(QEventLoop::ProcessEventsFlags)>;

    explicit EpollEventDispatcher(QObject* parent = nullptr);
    ~EpollEventDispatcher() override;

    void setPlatformPass(PlatformPass pass) { m_platformPass = std::move(pass); }

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;
    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType, QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;
    void wakeUp() override;
    void interrupt() override;

private:
    using Clock = std::chrono::steady_clock;

    // The notifiers of one descriptor, by QSocketNotifier::Type.
    struct Watch {
        QSocketNotifier* notifiers[3] = {nullptr, nullptr, nullptr};
        bool watched = false;
        // epoll refuses regular files and some devices; poll calls them always ready.
        bool alwaysReady = false;
    };
    struct Timer {
        QObject* object;
        qint64 interval;
        Qt::TimerType type;
        std::multimap<Clock::time_point, int>::iterator due;
        // Its event is being delivered; a nested loop must not deliver it again meanwhile.
        bool active = false;
    };

    void updateWatch(int fd, Watch& watch);
    int waitMilliseconds(bool canWait) const;
    void collectReady(int ready);
    int activateNotifiers();
    int activateTimers();
    void schedule(int timerId, Timer& timer, Clock::time_point due);
    void removeTimer(std::unordered_map<int, Timer>::iterator it);

    int m_epoll = -1;
    int m_wake = -1;
    QAtomicInt m_wakeUps;
    QAtomicInt m_interrupted;
    PlatformPass m_platformPass;

    QHash<int, Watch> m_watches;
    int m_alwaysReadyCount = 0;
    // Notifiers found ready in this pass; an unregistered one is cleared before it is activated.
    std::vector<std::pair<QSocketNotifier*, QSocketNotifier::Type>> m_pending;

    std::unordered_map<int, Timer> m_timers;
    QMultiHash<QObject*, int> m_timersOfObject;
    std::multimap<Clock::time_point, int> m_dueOrder;
};

} // namespace kestrava
