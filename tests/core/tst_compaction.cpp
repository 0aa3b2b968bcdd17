#include "TempDatabase.h"
#include "core/startup/Clock.h"
#include "core/startup/DatabaseCompactor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrava;

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Fills the database and deletes most of it again, so that a compaction has space to give back.
void leaveFreePages(Database& db) {
    db.transaction([&] {
        for (int i = 0; i < 400; ++i)
            db.exec(QStringLiteral("INSERT INTO DNS_Lookup_Table (URL) VALUES (?)"),
                    {QStringLiteral("www.example-%1.com/").arg(i) + QString(200, QLatin1Char('x'))});
    });
    db.exec(QStringLiteral("DELETE FROM DNS_Lookup_Table WHERE URL_ID > 1"));
}

QStringList leftovers(const QString& dir) {
    return QDir(dir)
        .entryList(QDir::Files | QDir::Hidden | QDir::System)
        .filter(QRegularExpression(QStringLiteral("compact|KV\\.bak|\\.tlmr\\.")));
}

} // namespace

class TestCompaction : public QObject {
    Q_OBJECT
private slots:
    void onlyOnFridays_data();
    void onlyOnFridays();
    void keepsWhatWasCommittedToTheLog();
    void keepsOwnerOnlyPermissions();
    void failureHalfWayLeavesOriginal_data();
    void failureHalfWayLeavesOriginal();
    void damagedCopyIsRefused();
    void refusesWhileAnotherConnectionHoldsTheLog();
    void refusesBadFiles_data();
    void refusesBadFiles();
};

void TestCompaction::onlyOnFridays_data() {
    QTest::addColumn<QDate>("day");
    QTest::addColumn<bool>("compacted");
    // Both days next to Friday, 2024-03-08.
    QTest::newRow("Thursday") << QDate(2024, 3, 7) << false;
    QTest::newRow("Friday") << QDate(2024, 3, 8) << true;
    QTest::newRow("Saturday") << QDate(2024, 3, 9) << false;
}

void TestCompaction::onlyOnFridays() {
    QFETCH(QDate, day);
    QFETCH(bool, compacted);
    TempDatabase temp;
    leaveFreePages(temp.db());
    temp.db().close();
    const QByteArray before = contentOf(temp.path());

    const FixedClock clock(QDateTime(day, QTime(0, 0)));
    QCOMPARE(Is_Compaction_Day(clock), compacted);
    QCOMPARE(Compact_Database(temp.path(), clock), compacted);

    const QByteArray after = contentOf(temp.path());
    if (compacted)
        QVERIFY2(after.size() < before.size() / 2, qPrintable(QString::number(after.size())));
    else
        QCOMPARE(after, before);
    QCOMPARE(leftovers(temp.dir()), QStringList());
    Database db;
    db.open(temp.path());
    QCOMPARE(db.scalar(QStringLiteral("SELECT URL FROM DNS_Lookup_Table")).toString().left(20),
             QStringLiteral("www.example-0.com/xx"));
    QCOMPARE(db.scalar(QStringLiteral("SELECT Password FROM Settings_Table")).toString(),
             QStringLiteral("Chief"));
}

void TestCompaction::keepsWhatWasCommittedToTheLog() {
    TempDatabase temp;
    // Stop automatic checkpoints so that the row lives only in the write-ahead log.
    temp.db().exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
    temp.db().exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES ('gX', 'X')"));
    // The files as a console that crashed now would leave them.
    QTemporaryDir crashed;
    const QString path = crashed.filePath(QStringLiteral("kestrava.tlmr"));
    for (const QString& suffix : {QString(), QStringLiteral("-wal")})
        QVERIFY(QFile::copy(temp.path() + suffix, path + suffix));
    QVERIFY(QFileInfo(path + QStringLiteral("-wal")).size() > 0);

    DatabaseCompactor(path).compact();

    QVERIFY(!QFile::exists(path + QStringLiteral("-wal")));
    Database db;
    db.open(path);
    QCOMPARE(db.scalar(QStringLiteral("SELECT Group_Name FROM Group_Table")).toString(), QStringLiteral("X"));
    QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
}

void TestCompaction::keepsOwnerOnlyPermissions() {
    TempDatabase temp;
    temp.db().close();
    const auto before = QFile::permissions(temp.path());
    DatabaseCompactor(temp.path()).compact();
    QCOMPARE(QFile::permissions(temp.path()), before);
}

void TestCompaction::failureHalfWayLeavesOriginal_data() {
    QTest::addColumn<DatabaseCompactor::Stage>("failAt");
    QTest::newRow("after the copy") << DatabaseCompactor::Stage::Copied;
    QTest::newRow("after the check") << DatabaseCompactor::Stage::Checked;
    QTest::newRow("with the new file half written") << DatabaseCompactor::Stage::Written;
}

void TestCompaction::failureHalfWayLeavesOriginal() {
    QFETCH(DatabaseCompactor::Stage, failAt);
    TempDatabase temp;
    leaveFreePages(temp.db());
    temp.db().close();
    const QByteArray before = contentOf(temp.path());

    DatabaseCompactor compactor(temp.path());
    compactor.setStageHook([&](DatabaseCompactor::Stage stage) {
        if (stage == failAt)
            throw DatabaseError(QStringLiteral("28"), QStringLiteral("No space left on device"));
    });
    QVERIFY_THROWS_EXCEPTION(DatabaseError, compactor.compact());

    QCOMPARE(contentOf(temp.path()), before);
    QCOMPARE(leftovers(temp.dir()), QStringList());
}

void TestCompaction::damagedCopyIsRefused() {
    TempDatabase temp;
    leaveFreePages(temp.db());
    temp.db().close();
    const QByteArray before = contentOf(temp.path());
    DatabaseCompactor compactor(temp.path());
    compactor.setStageHook([&](DatabaseCompactor::Stage stage) {
        if (stage != DatabaseCompactor::Stage::Copied)
            return;
        // A copy that SQLite still opens but whose second page is garbage, as a failing disk leaves it.
        QFile copy(QDir(temp.dir()).filePath(leftovers(temp.dir()).value(0)));
        if (copy.open(QIODevice::ReadWrite) && copy.seek(4096))
            copy.write(QByteArray(512, '\xff'));
    });
    QVERIFY_THROWS_EXCEPTION(DatabaseError, compactor.compact());
    QCOMPARE(contentOf(temp.path()), before);
    QCOMPARE(leftovers(temp.dir()), QStringList());
}

void TestCompaction::refusesWhileAnotherConnectionHoldsTheLog() {
    TempDatabase temp;
    temp.db().exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
    temp.db().exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES ('gY', 'Y')"));

    try {
        DatabaseCompactor(temp.path()).compact();
        QFAIL("compacted under an open connection");
    } catch (const DatabaseError& error) {
        QCOMPARE(error.number(), QStringLiteral("5"));
    }
    QCOMPARE(temp.db().scalar(QStringLiteral("SELECT Group_Name FROM Group_Table")).toString(),
             QStringLiteral("Y"));
    temp.db().exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES ('gZ', 'Z')"));
    temp.db().close();
    Database db;
    db.open(temp.path());
    QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM Group_Table")).toInt(), 2);
    QCOMPARE(leftovers(temp.dir()), QStringList());
}

void TestCompaction::refusesBadFiles_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("not a database") << QByteArray(4096, 'k') << true;
}

void TestCompaction::refusesBadFiles() {
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kestrava.tlmr"));
    if (exists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const FixedClock friday(QDateTime(QDate(2024, 3, 8), QTime(9, 0)));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, Compact_Database(path, friday));
    QCOMPARE(QFile::exists(path), exists);
    if (exists)
        QCOMPARE(contentOf(path), content);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), exists ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestCompaction)
#include "tst_compaction.moc"
