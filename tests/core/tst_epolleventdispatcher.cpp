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

    // Two sources fall due in the same pass; whichever is handled first stops a timer or deletes a
    // notifier, which then must stay silent.
    void sourceRemovedEarlierInThePassStaysSilent_data() {
        QTest::addColumn<bool>("notifiers");
        QTest::newRow("stopped timers") << false;
        QTest::newRow("deleted notifiers") << true;
    }

    void sourceRemovedEarlierInThePassStaysSilent() {
        QFETCH(bool, notifiers);
        int pipes[2][2];
        QVERIFY(::pipe(pipes[0]) == 0 && ::pipe(pipes[1]) == 0);
        std::unique_ptr<QObject> sources[2];
        int activations = 0;
        for (int i = 0; i < 2; ++i) {
            const auto handled = [&, i] {
                ++activations;
                if (!notifiers)
                    return static_cast<QTimer*>(sources[1 - i].get())->stop();
                sources[1 - i].reset();
                static_cast<QSocketNotifier*>(sources[i].get())->setEnabled(false);
            };
            if (notifiers) {
                sources[i] = std::make_unique<QSocketNotifier>(pipes[i][0], QSocketNotifier::Read);
                connect(static_cast<QSocketNotifier*>(sources[i].get()), &QSocketNotifier::activated, this,
                        handled);
                QVERIFY(::write(pipes[i][1], "x", 1) == 1);
            } else {
                auto timer = std::make_unique<QTimer>();
                connect(timer.get(), &QTimer::timeout, this, handled);
                timer->setSingleShot(true);
                timer->start(0);
                sources[i] = std::move(timer);
            }
        }
        QTRY_COMPARE(activations, 1);
        QTest::qWait(20);
        QCOMPARE(activations, 1);
        for (int i = 0; i < 2; ++i) {
            sources[i].reset();
            ::close(pipes[i][0]);
            ::close(pipes[i][1]);
        }
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
        QObject* raw = owner.get();
        owner.reset();
        QCOMPARE(dispatcher->registeredTimers(raw).size(), 0);
        QCOMPARE(dispatcher->remainingTime(id), -1);
        QTest::qWait(20);
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
