#include "policy/ConsoleClock.h"

#include <QTest>

using namespace kestrava::agent;

namespace {
QDateTime at(int d, int h, int mi, int s = 0) {
    return QDateTime(QDate(2026, 12, d), QTime(h, mi, s), Qt::UTC);
}
} // namespace

class TestConsoleClock : public QObject {
    Q_OBJECT
private slots:
    // Moving this computer's clock after the anchoring changes nothing; only the monotonic count does.
    void follows_data() {
        QTest::addColumn<bool>("fromStamp");
        QTest::addColumn<qint64>("wallJumpMs");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QDateTime>("expected");
        QTest::addColumn<qint64>("offsetMs");
        // The local clock reads 6 Dec 10:00:00 when the stamp 6 Dec 10:05:02 arrives.
        QTest::newRow("stamp, clock set back an hour")
            << true << qint64(-3600000) << qint64(1500) << at(6, 10, 5, 1).addMSecs(500) << qint64(300000);
        QTest::newRow("stamp, a night of sleep")
            << true << qint64(0) << qint64(8 * 3600000) << at(6, 18, 5) << qint64(300000);
        QTest::newRow("saved offset, clock set forward")
            << false << qint64(86400000) << qint64(60000) << at(6, 10, 6) << qint64(300000);
    }

    void follows() {
        QFETCH(bool, fromStamp);
        QFETCH(qint64, wallJumpMs);
        QFETCH(qint64, elapsedMs);
        QFETCH(QDateTime, expected);
        QFETCH(qint64, offsetMs);
        ClockReading reading{.monotonicMs = 123456789, .local = at(6, 10, 0)};
        ConsoleClock clock;
        QCOMPARE(clock.now(reading), at(6, 10, 0));
        if (fromStamp)
            clock.receiveStamp(at(6, 10, 5, 2), reading);
        else
            clock.startFromOffset(300000, reading);
        QCOMPARE(clock.source(),
                 fromStamp ? ConsoleClock::Source::Console : ConsoleClock::Source::SavedOffset);
        reading.local = reading.local.addMSecs(wallJumpMs);
        reading.monotonicMs += elapsedMs;
        QCOMPARE(clock.now(reading), expected);
        QCOMPARE(clock.offsetMs(), offsetMs);
    }
};

QTEST_APPLESS_MAIN(TestConsoleClock)
#include "tst_consoleclock.moc"
