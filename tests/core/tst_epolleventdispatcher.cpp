// The epoll dispatcher on its own: installed for this executable's main thread before the application
// object, as the console installs it.
#include "core/platform/EventDispatcher.h"
#include "core/platform/linux/EpollEventDispatcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using kestrava::EpollEventDispatcher;

class TestEpollEventDispatcher : public QObject {
    Q_OBJECT
private slots:
    void isTheThreadsDispatcher() {
        QVERIFY(qobject_cast<EpollEventDispatcher*>(QCoreApplication::eventDispatcher()));
    }

    void timerKilledInsideAnotherTimersEventDoesNotFire() {
        // Both fall due in the same pass; the one due first stops the other.
        QTimer killer;
        QTimer victim;
        killer.setSingleShot(true);
        victim.setSingleShot(true);
        bool victimFired = false;
        bool killed = false;
        connect(&killer, &QTimer::timeout, this, [&] {
            victim.stop();
            killed = true;
        });
        connect(&victim, &QTimer::timeout, this, [&] { victimFired = true; });
        killer.start(0);
        victim.start(0);
        QTRY_VERIFY(killed);
        QTest::qWait(20);
        QVERIFY(!victimFired);
    }

    void remainingTimeAndRegisteredTimers() {
        auto* dispatcher = QCoreApplication::eventDispatcher();
        QTimer timer;
        timer.start(10'000);
        const int left = dispatcher->remainingTime(timer.timerId());
        QVERIFY(left > 9'000 && left <= 10'000);
        const auto infos = dispatcher->registeredTimers(&timer);
        QCOMPARE(infos.size(), 1);
        QCOMPARE(infos.first().timerId, timer.timerId());
        QCOMPARE(infos.first().interval, 10'000);
        timer.stop();
        QCOMPARE(dispatcher->registeredTimers(&timer).size(), 0);
        QCOMPARE(dispatcher->remainingTime(12345678), -1);
        // A deleted object loses its timers.
        auto owner = std::make_unique<QObject>();
        const int id = owner->startTimer(5);
        QVERIFY(id > 0);
        QObject* raw = owner.get();
        owner.reset();
        QCOMPARE(dispatcher->registeredTimers(raw).size(), 0);
        QCOMPARE(dispatcher->remainingTime(id), -1);
        QTest::qWait(20);
    }

    void notifierDeletedByAnEarlierActivationInTheSamePassIsNotActivated() {
        int first[2];
        int second[2];
        QVERIFY(::pipe(first) == 0 && ::pipe(second) == 0);
        auto a = std::make_unique<QSocketNotifier>(first[0], QSocketNotifier::Read);
        auto b = std::make_unique<QSocketNotifier>(second[0], QSocketNotifier::Read);
        int activations = 0;
        // Whichever is activated first deletes the other, which then must stay silent.
        connect(a.get(), &QSocketNotifier::activated, this, [&] {
            ++activations;
            b.reset();
            a->setEnabled(false);
        });
        connect(b.get(), &QSocketNotifier::activated, this, [&] {
            ++activations;
            a.reset();
            b->setEnabled(false);
        });
        QVERIFY(::write(first[1], "x", 1) == 1);
        QVERIFY(::write(second[1], "x", 1) == 1);
        QTRY_COMPARE(activations, 1);
        QTest::qWait(20);
        QCOMPARE(activations, 1);
        a.reset();
        b.reset();
        for (int fd : {first[0], first[1], second[0], second[1]})
            ::close(fd);
    }

    void regularFileCountsAsAlwaysReady() {
        QTemporaryFile file;
        QVERIFY(file.open());
        QSocketNotifier notifier(static_cast<qintptr>(file.handle()), QSocketNotifier::Read);
        QSignalSpy activated(&notifier, &QSocketNotifier::activated);
        QVERIFY(activated.wait(1'000));
    }

    void platformPassRunsInEveryPassWithoutBlocking() {
        int passes = 0;
        QEventLoop::ProcessEventsFlags seen;
        QVERIFY(kestrava::setPlatformPass([&](QEventLoop::ProcessEventsFlags flags) {
            ++passes;
            seen |= flags;
            return false;
        }));
        QTest::qWait(20);
        QVERIFY(kestrava::setPlatformPass({}));
        QVERIFY(passes > 0);
        QVERIFY(!(seen & QEventLoop::WaitForMoreEvents));
    }
};

static void installDispatcher() {
    kestrava::installEventDispatcher();
}
Q_CONSTRUCTOR_FUNCTION(installDispatcher)

QTEST_GUILESS_MAIN(TestEpollEventDispatcher)
#include "tst_epolleventdispatcher.moc"
