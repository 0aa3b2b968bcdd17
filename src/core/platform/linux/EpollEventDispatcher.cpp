#include "core/platform/linux/EpollEventDispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kestrava {

namespace {

constexpr int kEventsPerWait = 1024;

std::uint32_t interestOf(QSocketNotifier::Type type) {
    switch (type) {
    case QSocketNotifier::Read:
        return EPOLLIN;
    case QSocketNotifier::Write:
        return EPOLLOUT;
    default:
        return EPOLLPRI;
    }
}

// The same readiness that Qt's poll-based dispatcher reads for each notifier type.
bool readyFor(QSocketNotifier::Type type, std::uint32_t events) {
    switch (type) {
    case QSocketNotifier::Read:
        return events & (EPOLLIN | EPOLLHUP | EPOLLERR);
    case QSocketNotifier::Write:
        return events & (EPOLLOUT | EPOLLERR);
    default:
        return events & EPOLLPRI;
    }
}

} // namespace

EpollEventDispatcher::EpollEventDispatcher(QObject* parent)
    : QAbstractEventDispatcher(parent)
    , m_epoll(::epoll_create1(EPOLL_CLOEXEC))
    , m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (m_epoll < 0 || m_wake < 0)
        qFatal("EpollEventDispatcher: no epoll or eventfd descriptor (%d)", errno);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_wake;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event) != 0)
        qFatal("EpollEventDispatcher: cannot watch the wake-up descriptor (%d)", errno);
}

EpollEventDispatcher::~EpollEventDispatcher() {
    ::close(m_wake);
    ::close(m_epoll);
}

void EpollEventDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    const int fd = static_cast<int>(notifier->socket());
    Watch& watch = m_watches[fd];
    watch.notifiers[notifier->type()] = notifier;
    updateWatch(fd, watch);
}

void EpollEventDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    for (auto& pending : m_pending) {
        if (pending.first == notifier)
            pending.first = nullptr;
    }
    const int fd = static_cast<int>(notifier->socket());
    const auto it = m_watches.find(fd);
    if (it == m_watches.end() || it->notifiers[notifier->type()] != notifier)
        return;
    it->notifiers[notifier->type()] = nullptr;
    updateWatch(fd, *it);
}

void EpollEventDispatcher::updateWatch(int fd, Watch& watch) {
    std::uint32_t interest = 0;
    for (int type = QSocketNotifier::Read; type <= QSocketNotifier::Exception; ++type) {
        if (watch.notifiers[type])
            interest |= interestOf(static_cast<QSocketNotifier::Type>(type));
    }
    const bool wasWatched = watch.watched;
    if (interest == 0) {
        if (watch.alwaysReady)
            --m_alwaysReadyCount;
        else if (wasWatched)
            ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        m_watches.remove(fd);
        return;
    }
    if (watch.alwaysReady)
        return;
    epoll_event event{};
    event.events = interest;
    event.data.fd = fd;
    if (::epoll_ctl(m_epoll, wasWatched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event) == 0) {
        watch.watched = true;
        return;
    }
    if (errno == EPERM) {
        watch.alwaysReady = true;
        ++m_alwaysReadyCount;
    } else if (errno == EEXIST && ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event) == 0) {
        watch.watched = true;
    } else {
        qWarning("EpollEventDispatcher: cannot watch descriptor %d (%d)", fd, errno);
    }
}

void EpollEventDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                         QObject* object) {
    if (timerId < 1 || interval < 0 || !object)
        return;
    unregisterTimer(timerId);
    Timer timer{object, interval, timerType, m_dueOrder.end()};
    auto [it, inserted] = m_timers.emplace(timerId, timer);
    m_timersOfObject.insert(object, timerId);
    schedule(timerId, it->second, Clock::now() + std::chrono::milliseconds(interval));
}

void EpollEventDispatcher::schedule(int timerId, Timer& timer, Clock::time_point due) {
    if (timer.due != m_dueOrder.end())
        m_dueOrder.erase(timer.due);
    timer.due = m_dueOrder.emplace(due, timerId);
}

void EpollEventDispatcher::removeTimer(std::unordered_map<int, Timer>::iterator it) {
    m_dueOrder.erase(it->second.due);
    m_timersOfObject.remove(it->second.object, it->first);
    m_timers.erase(it);
}

bool EpollEventDispatcher::unregisterTimer(int timerId) {
    const auto it = m_timers.find(timerId);
    if (it == m_timers.end())
        return false;
    removeTimer(it);
    return true;
}

bool EpollEventDispatcher::unregisterTimers(QObject* object) {
    const QList<int> ids = m_timersOfObject.values(object);
    for (int id : ids)
        unregisterTimer(id);
    return !ids.isEmpty();
}

QList<QAbstractEventDispatcher::TimerInfo> EpollEventDispatcher::registeredTimers(QObject* object) const {
    QList<TimerInfo> infos;
    for (auto it = m_timersOfObject.constFind(object);
         it != m_timersOfObject.constEnd() && it.key() == object; ++it) {
        const Timer& timer = m_timers.at(it.value());
        infos.append(TimerInfo(it.value(), static_cast<int>(timer.interval), timer.type));
    }
    return infos;
}

int EpollEventDispatcher::remainingTime(int timerId) {
    const auto it = m_timers.find(timerId);
    if (it == m_timers.end())
        return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(it->second.due->first - Clock::now());
    return static_cast<int>(std::max<qint64>(0, left.count()));
}

void EpollEventDispatcher::wakeUp() {
    if (m_wakeUps.testAndSetAcquire(0, 1)) {
        const std::uint64_t one = 1;
        while (::write(m_wake, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

void EpollEventDispatcher::interrupt() {
    m_interrupted.storeRelaxed(1);
    wakeUp();
}

int EpollEventDispatcher::waitMilliseconds(bool canWait) const {
    if (!canWait)
        return 0;
    if (m_dueOrder.empty())
        return -1;
    const auto left = m_dueOrder.begin()->first - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    // Rounded up: a timer is never delivered before it is due.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<qint64>(ms, INT_MAX));
}

bool EpollEventDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    m_interrupted.storeRelaxed(0);
    emit awake();
    QCoreApplication::sendPostedEvents();

    const bool includeTimers = !(flags & QEventLoop::X11ExcludeTimers);
    const bool includeNotifiers = !(flags & QEventLoop::ExcludeSocketNotifiers);
    const bool canWait = (flags & QEventLoop::WaitForMoreEvents) && !m_interrupted.loadRelaxed() &&
                         !(includeNotifiers && m_alwaysReadyCount > 0);
    if (canWait)
        emit aboutToBlock();
    if (m_interrupted.loadRelaxed())
        return false;

    int delivered = 0;
    int timeout = waitMilliseconds(canWait);
    if (!includeTimers && canWait)
        timeout = -1;
    if (includeNotifiers) {
        std::array<epoll_event, kEventsPerWait> events;
        const int ready = ::epoll_wait(m_epoll, events.data(), kEventsPerWait, timeout);
        m_pending.clear();
        for (int i = 0; i < ready; ++i) {
            const int fd = events[static_cast<std::size_t>(i)].data.fd;
            if (fd == m_wake) {
                std::uint64_t value = 0;
                [[maybe_unused]] const auto got = ::read(m_wake, &value, sizeof value);
                m_wakeUps.storeRelease(0);
                ++delivered;
                continue;
            }
            const auto it = m_watches.constFind(fd);
            if (it == m_watches.constEnd())
                continue;
            for (int type = QSocketNotifier::Read; type <= QSocketNotifier::Exception; ++type) {
                const auto kind = static_cast<QSocketNotifier::Type>(type);
                if (it->notifiers[type] && readyFor(kind, events[static_cast<std::size_t>(i)].events))
                    m_pending.emplace_back(it->notifiers[type], kind);
            }
        }
        if (m_alwaysReadyCount > 0) {
            for (const Watch& watch : std::as_const(m_watches)) {
                if (!watch.alwaysReady)
                    continue;
                for (int type = QSocketNotifier::Read; type <= QSocketNotifier::Write; ++type) {
                    if (watch.notifiers[type])
                        m_pending.emplace_back(watch.notifiers[type],
                                               static_cast<QSocketNotifier::Type>(type));
                }
            }
        }
        delivered += activateNotifiers();
    } else {
        pollfd wake{m_wake, POLLIN, 0};
        if (::poll(&wake, 1, timeout) > 0) {
            std::uint64_t value = 0;
            [[maybe_unused]] const auto got = ::read(m_wake, &value, sizeof value);
            m_wakeUps.storeRelease(0);
            ++delivered;
        }
    }
    if (includeTimers)
        delivered += activateTimers();
    if (m_platformPass && m_platformPass(flags & ~QEventLoop::WaitForMoreEvents))
        ++delivered;
    return delivered > 0;
}

int EpollEventDispatcher::activateNotifiers() {
    int activated = 0;
    // Indexes, not iterators: an activation may unregister notifiers met later in the list.
    for (std::size_t i = 0; i < m_pending.size(); ++i) {
        QSocketNotifier* notifier = m_pending[i].first;
        if (!notifier)
            continue;
        m_pending[i].first = nullptr;
        QEvent event(QEvent::SockAct);
        QCoreApplication::sendEvent(notifier, &event);
        ++activated;
    }
    m_pending.clear();
    return activated;
}

int EpollEventDispatcher::activateTimers() {
    const Clock::time_point now = Clock::now();
    // Timers that fall due while these are delivered wait for the next pass.
    std::vector<int> due;
    for (auto it = m_dueOrder.begin(); it != m_dueOrder.end() && it->first <= now; ++it)
        due.push_back(it->second);
    int activated = 0;
    for (int id : due) {
        auto it = m_timers.find(id);
        if (it == m_timers.end() || it->second.active || it->second.due->first > now)
            continue;
        Timer& timer = it->second;
        const auto interval = std::chrono::milliseconds(timer.interval);
        Clock::time_point next = timer.due->first + interval;
        if (next <= now)
            next = now + interval;
        schedule(id, timer, next);
        timer.active = true;
        QObject* object = timer.object;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(object, &event);
        ++activated;
        it = m_timers.find(id);
        if (it != m_timers.end())
            it->second.active = false;
    }
    return activated;
}

} // namespace kestrava
