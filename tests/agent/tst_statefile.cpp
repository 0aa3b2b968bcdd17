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
    // Saved twice, then the file as it is, damaged, or damaged with the copy before it gone: what is loaded
    // is what was saved, from the copy before a damaged file, or nothing.
    void load_data() {
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("keepPrevious");
        QTest::addColumn<bool>("restored");
        QTest::newRow("intact") << false << true << true;
        QTest::newRow("previous good") << true << true << true;
        QTest::newRow("nothing good") << true << false << false;
    }

    void load() {
        QFETCH(bool, damaged);
        QFETCH(bool, keepPrevious);
        QTemporaryDir dir;
        StateFile file(dir.path());
        QString error;
        QVERIFY(file.save(sample(), &error));
        QVERIFY(file.save(sample(), &error));
        QCOMPARE(QFile::permissions(file.path()) & 0x0077, QFile::Permissions());
        if (!keepPrevious)
            QFile::remove(file.path() + QStringLiteral(".prev"));
        QFile damage(file.path());
        if (damaged) {
            QVERIFY(damage.open(QIODevice::WriteOnly | QIODevice::Truncate));
            damage.write("{\"orders\": {\"sched");
            damage.close();
        }
        const auto loaded = file.load(&error);
        QTEST(loaded.has_value(), "restored");
        QCOMPARE(error.contains(QStringLiteral("damaged")), damaged);
        if (loaded)
            QCOMPARE(loaded->orders, sample().orders);
    }
};

QTEST_APPLESS_MAIN(TestStateFile)
#include "tst_statefile.moc"
