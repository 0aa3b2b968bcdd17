#include "TempDatabase.h"
#include "core/startup/Clock.h"
#include "core/startup/StartupSequence.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

namespace {

struct Run {
    QList<int> progress;
    bool ready = false;
    bool incompatible = false;
    QString failure;
};

void runSequence(Database& db, const QString& path, const QDate& day, Run& run) {
    const FixedClock clock(QDateTime(day, QTime(8, 30)));
    StartupSequence sequence(db, path, clock);
    QObject::connect(&sequence, &StartupSequence::progressed, [&](int value) { run.progress << value; });
    QSignalSpy ready(&sequence, &StartupSequence::ready);
    QSignalSpy incompatible(&sequence, &StartupSequence::incompatibleVersion);
    QSignalSpy failed(&sequence, &StartupSequence::failed);
    sequence.start();
    QTRY_VERIFY_WITH_TIMEOUT(ready.count() + incompatible.count() + failed.count() > 0, 10000);
    run.ready = ready.count() == 1;
    run.incompatible = incompatible.count() == 1;
    if (!failed.isEmpty())
        run.failure = failed.constFirst().constFirst().toString();
}

const QDate kMonday(2024, 3, 4);
const QDate kFriday(2024, 3, 8);

} // namespace

class TestStartupSequence : public QObject {
    Q_OBJECT
private slots:
    void factoryDatabaseOpens_data();
    void factoryDatabaseOpens();
    void incompatibleVersionStops();
    void missingDatabaseFails_data();
    void missingDatabaseFails();
};

void TestStartupSequence::factoryDatabaseOpens_data() {
    QTest::addColumn<QDate>("day");
    QTest::newRow("Monday") << kMonday;
    QTest::newRow("Friday, with compaction") << kFriday;
}

void TestStartupSequence::factoryDatabaseOpens() {
    QFETCH(QDate, day);
    TempDatabase temp;
    temp.db().close();
    Database db;
    Run run;
    runSequence(db, temp.path(), day, run);
    QVERIFY(run.ready);
    QCOMPARE(run.progress, (QList<int>{1, 2, 3, 4, 5}));
    QVERIFY(db.isOpen());
    QCOMPARE(db.scalar(QStringLiteral("SELECT LocalPort FROM Settings_Table")).toInt(), 8999);
}

void TestStartupSequence::incompatibleVersionStops() {
    TempDatabase temp;
    temp.db().exec(QStringLiteral("UPDATE Settings_Table SET CompatibleVersion='1.41'"));
    temp.db().close();
    Database db;
    Run run;
    runSequence(db, temp.path(), kMonday, run);
    QVERIFY(run.incompatible);
    QVERIFY(!run.ready);
    QCOMPARE(run.progress, (QList<int>{1, 2, 3}));
}

void TestStartupSequence::missingDatabaseFails_data() {
    QTest::addColumn<QDate>("day");
    QTest::newRow("Monday") << kMonday;
    QTest::newRow("Friday") << kFriday;
}

void TestStartupSequence::missingDatabaseFails() {
    QFETCH(QDate, day);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kestrava.tlmr"));
    Database db;
    Run run;
    runSequence(db, path, day, run);
    QVERIFY(!run.ready);
    QVERIFY2(run.failure.startsWith(QStringLiteral("14: ")), qPrintable(run.failure));
    QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
}

QTEST_GUILESS_MAIN(TestStartupSequence)
#include "tst_startupsequence.moc"
