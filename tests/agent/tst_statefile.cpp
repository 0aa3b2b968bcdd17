#include "agent/state/StateFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrava::agent;

namespace {

SavedState sample() {
    SavedState state;
    state.orders.heardFromConsole = true;
    state.orders.schedule.type = Schedule::Type::Ranges;
    state.orders.schedule.stamp = QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59));
    state.orders.schedule.blockInRanges = true;
    state.orders.schedule.ranges = {{QTime(22, 0), QTime(6, 30), TimeRange::Repeat::Weekly, 0x22, 0}};
    state.orders.whiteList = {QStringLiteral("school.example/maths")};
    state.orders.blockList = {QStringLiteral("game.exe")};
    state.orders.settings = {{80, 0, 8080}, QStringLiteral("Not here"), true, true};
    state.orders.screenLocked = true;
    state.orders.notificationsVisible = false;
    state.orders.consoleOffsetMs = -123456789012;
    state.link.console = QStringLiteral("10.0.0.1:8999");
    return state;
}

} // namespace

class TestStateFile : public QObject {
    Q_OBJECT

private slots:
    void roundTrip() {
        QTemporaryDir dir;
        StateFile file(dir.filePath(QStringLiteral("state")));
        QString error;
        QVERIFY(file.save(sample(), &error));
        const auto loaded = file.load(&error);
        QVERIFY2(loaded, qPrintable(error));
        QCOMPARE(loaded->orders, sample().orders);
        QCOMPARE(QFile::permissions(file.path()) & 0x0077, QFile::Permissions());
    }

    // A damaged file falls back to the state before it; with neither readable, nothing is restored.
    void damaged_data() {
        QTest::addColumn<bool>("keepPrevious");
        QTest::addColumn<bool>("restored");
        QTest::newRow("previous good") << true << true;
        QTest::newRow("nothing good") << false << false;
    }

    void damaged() {
        QFETCH(bool, keepPrevious);
        QTemporaryDir dir;
        StateFile file(dir.path());
        QString error;
        QVERIFY(file.save(sample(), &error));
        QVERIFY(file.save(sample(), &error));
        if (!keepPrevious)
            QFile::remove(file.path() + QStringLiteral(".prev"));
        QFile damaged(file.path());
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("{\"orders\": {\"sched");
        damaged.close();
        const auto loaded = file.load(&error);
        QTEST(loaded.has_value(), "restored");
        QVERIFY(error.contains(QStringLiteral("damaged")));
    }
};

QTEST_APPLESS_MAIN(TestStateFile)
#include "tst_statefile.moc"
