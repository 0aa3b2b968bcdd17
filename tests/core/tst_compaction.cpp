#include "TempDatabase.h"
#include "core/startup/Clock.h"
#include "core/startup/DatabaseCompactor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

using namespace kestrava;

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList leftovers(const QString& dir) {
    return QDir(dir)
        .entryList(QDir::Files | QDir::Hidden | QDir::System)
        .filter(QRegularExpression(QStringLiteral("compact|KV\\.bak|\\.tlmr\\.")));
}

enum class Failure { None, AfterCopy, HalfWritten, DamagedCopy, LogInUse };

} // namespace

class TestCompaction : public QObject {
    Q_OBJECT
private slots:
    void compaction_data();
    void compaction();
};

void TestCompaction::compaction_data() {
    QTest::addColumn<QDate>("day");
    QTest::addColumn<Failure>("failure");
    const QDate friday(2024, 3, 8);
    QTest::newRow("Thursday") << friday.addDays(-1) << Failure::None;
    QTest::newRow("Friday") << friday << Failure::None;
    QTest::newRow("disk full after the copy") << friday << Failure::AfterCopy;
    QTest::newRow("new file half written") << friday << Failure::HalfWritten;
    QTest::newRow("copy damaged on disk") << friday << Failure::DamagedCopy;
    QTest::newRow("log held by another connection") << friday << Failure::LogInUse;
}

// The files as a console that crashed leaves them, one group only in the write-ahead log (folded into
// the file before a failure, so that the file can be compared); or as a running console holds them. Only a
// complete, checked copy replaces the file.
void TestCompaction::compaction() {
    QFETCH(QDate, day);
    QFETCH(Failure, failure);
    TempDatabase temp;
    // Most of what is written is deleted again, so that a compaction has space to give back.
    temp.db().transaction([&] {
        for (int i = 0; i < 400; ++i)
            temp.db().exec(QStringLiteral("INSERT INTO DNS_Lookup_Table (URL) VALUES (?)"),
                           {QString(200, QLatin1Char('x'))});
    });
    temp.db().exec(QStringLiteral("DELETE FROM DNS_Lookup_Table WHERE URL_ID > 1"));
    temp.db().exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    temp.db().exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
    temp.db().exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES ('gX', 'X')"));
    if (failure != Failure::None && failure != Failure::LogInUse)
        temp.db().exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    QTemporaryDir crashed;
    QString path = crashed.filePath(QStringLiteral("kestrava.tlmr"));
    for (const QString& suffix : {QString(), QStringLiteral("-wal")})
        QVERIFY(QFile::copy(temp.path() + suffix, path + suffix));
    if (failure == Failure::LogInUse)
        path = temp.path();
    const QByteArray before = contentOf(path);
    const auto permissions = QFile::permissions(path);

    DatabaseCompactor compactor(path);
    compactor.setStageHook([&](DatabaseCompactor::Stage stage) {
        if ((failure == Failure::AfterCopy && stage == DatabaseCompactor::Stage::Copied) ||
            (failure == Failure::HalfWritten && stage == DatabaseCompactor::Stage::Written))
            throw DatabaseError(QStringLiteral("28"), QStringLiteral("No space left on device"));
        // A copy that SQLite still opens but whose second page is garbage, as a failing disk leaves it.
        QFile copy(QFileInfo(path).dir().filePath(leftovers(QFileInfo(path).path()).value(0)));
        if (failure == Failure::DamagedCopy && stage == DatabaseCompactor::Stage::Copied &&
            copy.open(QIODevice::ReadWrite) && copy.seek(4096))
            copy.write(QByteArray(512, '\xff'));
    });
    const FixedClock clock(QDateTime(day, QTime(0, 0)));
    QCOMPARE(Is_Compaction_Day(clock), day.dayOfWeek() == Qt::Friday);
    const bool compacted = failure == Failure::None && Is_Compaction_Day(clock);
    try {
        if (Is_Compaction_Day(clock))
            compactor.compact();
        QVERIFY(failure == Failure::None);
    } catch (const DatabaseError& error) {
        QVERIFY(failure != Failure::None);
        QVERIFY(failure != Failure::LogInUse || error.number() == QLatin1String("5"));
    }

    if (compacted)
        QVERIFY2(contentOf(path).size() < before.size() / 2,
                 qPrintable(QString::number(contentOf(path).size())));
    else
        QCOMPARE(contentOf(path), before);
    QCOMPARE(QFile::permissions(path), permissions);
    QCOMPARE(leftovers(QFileInfo(path).path()), QStringList());
    // What was stored, in the file and in its log, is all there; a running console goes on writing.
    QVERIFY(failure != Failure::None || QFile::exists(path + QStringLiteral("-wal")) == !compacted);
    Database db;
    db.open(path);
    QCOMPARE(db.scalar(QStringLiteral("SELECT Group_Name FROM Group_Table")).toString(), QStringLiteral("X"));
    QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM DNS_Lookup_Table")).toInt(), 1);
    QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    temp.db().exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES ('gZ', 'Z')"));
}

QTEST_GUILESS_MAIN(TestCompaction)
#include "tst_compaction.moc"
