#include "TempDatabase.h"
#include "core/startup/Clock.h"
#include "core/startup/DatabaseCompactor.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
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
                    {QString(200, QLatin1Char('x'))});
    });
    db.exec(QStringLiteral("DELETE FROM DNS_Lookup_Table WHERE URL_ID > 1"));
}

QStringList leftovers(const QString& dir) {
    return QDir(dir)
        .entryList(QDir::Files | QDir::Hidden | QDir::System)
        .filter(QRegularExpression(QStringLiteral("compact|KV\\.bak|\\.tlmr\\.")));
}

enum class Failure { NotADatabase, AfterCopy, HalfWritten, DamagedCopy, LogInUse };

} // namespace

class TestCompaction : public QObject {
    Q_OBJECT
private slots:
    void onlyOnTheDaySet_data();
    void onlyOnTheDaySet();
    void failureLeavesTheOriginal_data();
    void failureLeavesTheOriginal();
};

void TestCompaction::onlyOnTheDaySet_data() {
    QTest::addColumn<QDate>("day");
    QTest::addColumn<bool>("compacted");
    QTest::newRow("Thursday") << QDate(2024, 3, 7) << false;
    QTest::newRow("Friday") << QDate(2024, 3, 8) << true;
    QTest::newRow("Saturday") << QDate(2024, 3, 9) << false;
}

// The files as a console that crashed leaves them: one group lives only in the write-ahead log.
void TestCompaction::onlyOnTheDaySet() {
    QFETCH(QDate, day);
    QFETCH(bool, compacted);
    TempDatabase temp;
    leaveFreePages(temp.db());
    temp.db().exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    temp.db().exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
    temp.db().exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES ('gX', 'X')"));
    QTemporaryDir crashed;
    const QString path = crashed.filePath(QStringLiteral("kestrava.tlmr"));
    for (const QString& suffix : {QString(), QStringLiteral("-wal")})
        QVERIFY(QFile::copy(temp.path() + suffix, path + suffix));
    const QByteArray before = contentOf(path);
    const auto permissions = QFile::permissions(path);

    const FixedClock clock(QDateTime(day, QTime(0, 0)));
    QCOMPARE(Is_Compaction_Day(clock), compacted);
    QCOMPARE(Compact_Database(path, clock), compacted);

    QCOMPARE(QFile::exists(path + QStringLiteral("-wal")), !compacted);
    if (compacted)
        QVERIFY2(contentOf(path).size() < before.size() / 2,
                 qPrintable(QString::number(contentOf(path).size())));
    else
        QCOMPARE(contentOf(path), before);
    QCOMPARE(QFile::permissions(path), permissions);
    QCOMPARE(leftovers(crashed.path()), QStringList());
    Database db;
    db.open(path);
    QCOMPARE(db.scalar(QStringLiteral("SELECT Group_Name FROM Group_Table")).toString(), QStringLiteral("X"));
    QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DNS_Lookup_Table")).toInt(), 1);
    QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
}

void TestCompaction::failureLeavesTheOriginal_data() {
    QTest::addColumn<Failure>("failure");
    QTest::newRow("not a database") << Failure::NotADatabase;
    QTest::newRow("disk full after the copy") << Failure::AfterCopy;
    QTest::newRow("new file half written") << Failure::HalfWritten;
    QTest::newRow("copy damaged on disk") << Failure::DamagedCopy;
    QTest::newRow("log held by another connection") << Failure::LogInUse;
}

void TestCompaction::failureLeavesTheOriginal() {
    QFETCH(Failure, failure);
    TempDatabase temp;
    leaveFreePages(temp.db());
    temp.db().exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
    temp.db().exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES ('gY', 'Y')"));
    if (failure != Failure::LogInUse)
        temp.db().close();
    QFile file(temp.path());
    if (failure == Failure::NotADatabase && file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray(4096, 'k'));
    file.close();
    const QByteArray before = contentOf(temp.path());

    DatabaseCompactor compactor(temp.path());
    compactor.setStageHook([&](DatabaseCompactor::Stage stage) {
        if ((failure == Failure::AfterCopy && stage == DatabaseCompactor::Stage::Copied) ||
            (failure == Failure::HalfWritten && stage == DatabaseCompactor::Stage::Written))
            throw DatabaseError(QStringLiteral("28"), QStringLiteral("No space left on device"));
        // A copy that SQLite still opens but whose second page is garbage, as a failing disk leaves it.
        QFile copy(QDir(temp.dir()).filePath(leftovers(temp.dir()).value(0)));
        if (failure == Failure::DamagedCopy && stage == DatabaseCompactor::Stage::Copied &&
            copy.open(QIODevice::ReadWrite) && copy.seek(4096))
            copy.write(QByteArray(512, '\xff'));
    });
    try {
        compactor.compact();
        QFAIL("compacted");
    } catch (const DatabaseError& error) {
        QVERIFY(failure != Failure::LogInUse || error.number() == QLatin1String("5"));
    }
    QCOMPARE(contentOf(temp.path()), before);
    QCOMPARE(leftovers(temp.dir()), QStringList());
    if (failure == Failure::LogInUse) {
        // The console goes on writing through its connection.
        temp.db().exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES ('gZ', 'Z')"));
        QCOMPARE(temp.db().scalar(QStringLiteral("SELECT count(*) FROM Group_Table")).toInt(), 2);
    }
}

QTEST_GUILESS_MAIN(TestCompaction)
#include "tst_compaction.moc"
