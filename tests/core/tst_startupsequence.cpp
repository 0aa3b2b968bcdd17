#include "TempDatabase.h"
#include "core/startup/Clock.h"
#include "core/startup/StartupSequence.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

class TestStartupSequence : public QObject {
    Q_OBJECT
private slots:
    void run_data();
    void run();
};

void TestStartupSequence::run_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QList<int>>("progress");
    const QDate monday(2024, 3, 4);
    const QDate friday(2024, 3, 8);
    QTest::newRow("Monday") << "" << monday << "ready" << QList<int>{1, 2, 3, 4, 5};
    QTest::newRow("Friday, with compaction") << "" << friday << "ready" << QList<int>{1, 2, 3, 4, 5};
    QTest::newRow("incompatible version") << "UPDATE Settings_Table SET CompatibleVersion='1.41'" << monday
                                          << "incompatible" << QList<int>{1, 2, 3};
    QTest::newRow("missing database") << "delete" << monday << "14: " << QList<int>{1, 2};
    QTest::newRow("missing database on Friday") << "delete" << friday << "14: " << QList<int>{1};
}

void TestStartupSequence::run() {
    QFETCH(QString, change);
    QFETCH(QDate, day);
    QFETCH(QString, outcome);
    QFETCH(QList<int>, progress);
    TempDatabase temp;
    if (!change.isEmpty() && change != QLatin1String("delete"))
        temp.db().exec(change);
    temp.db().close();
    if (change == QLatin1String("delete"))
        QVERIFY(QDir(temp.dir()).removeRecursively() && QDir().mkpath(temp.dir()));

    Database db;
    const FixedClock clock(QDateTime(day, QTime(8, 30)));
    StartupSequence sequence(db, temp.path(), clock);
    QList<int> progressed;
    QObject::connect(&sequence, &StartupSequence::progressed, [&](int value) { progressed << value; });
    QString ended;
    QObject::connect(&sequence, &StartupSequence::ready, [&] { ended = QStringLiteral("ready"); });
    QObject::connect(&sequence, &StartupSequence::incompatibleVersion,
                     [&] { ended = QStringLiteral("incompatible"); });
    QObject::connect(&sequence, &StartupSequence::failed, [&](const QString& error) { ended = error; });
    sequence.start();
    QTRY_VERIFY_WITH_TIMEOUT(!ended.isEmpty(), 10000);
    QVERIFY2(ended.startsWith(outcome), qPrintable(ended));
    QCOMPARE(progressed, progress);
    QVERIFY(db.isOpen() || outcome != QLatin1String("ready"));
    // A missing database is not created.
    QCOMPARE(QFile::exists(temp.path()), change != QLatin1String("delete"));
}

QTEST_GUILESS_MAIN(TestStartupSequence)
#include "tst_startupsequence.moc"
