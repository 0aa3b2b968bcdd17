// The database file deleted while the console runs: everything stored before and after the deletion is
// written back to the same path, owner-only, and later changes reach the new file.

#include "TempDatabase.h"
#include "core/store/DatabaseFileWatch.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

using namespace kestrava;

class TestDatabaseFileWatch : public QObject {
    Q_OBJECT
private slots:
    void deletedFileIsWrittenAgain();
    void deletedFolderIsReported();
};

namespace {

QStringList programs(Database& db) {
    QStringList names;
    QSqlQuery rows = db.exec(QStringLiteral("SELECT Program FROM Program_Table ORDER BY Program_ID"));
    while (rows.next())
        names << rows.value(0).toString();
    return names;
}

void addProgram(Database& db, const QString& name) {
    db.exec(QStringLiteral("INSERT INTO Program_Table(Program) VALUES(?)"), {name});
}

} // namespace

void TestDatabaseFileWatch::deletedFileIsWrittenAgain() {
    TempDatabase temp;
    DatabaseFileWatch watch(temp.db());
    QSignalSpy restored(&watch, &DatabaseFileWatch::restored);
    // A file that is there is left alone.
    QVERIFY(!watch.check());
    addProgram(temp.db(), QStringLiteral("before.exe"));
    QVERIFY(QFile::remove(temp.path()));
    // Written while the file is gone: it reaches only the open connection.
    addProgram(temp.db(), QStringLiteral("meanwhile.exe"));

    QVERIFY(watch.check());
    QCOMPARE(restored.size(), 1);
    QVERIFY(restored.at(0).at(0).toString().contains(temp.path()));
    QVERIFY(QFile::exists(temp.path()));
    QCOMPARE(QFile::permissions(temp.path()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteGroup | QFileDevice::WriteOther),
             QFileDevice::Permissions());
    addProgram(temp.db(), QStringLiteral("after.exe"));

    Database reader;
    reader.open(temp.path());
    QCOMPARE(programs(reader), (QStringList{QStringLiteral("before.exe"), QStringLiteral("meanwhile.exe"),
                                            QStringLiteral("after.exe")}));
    QCOMPARE(reader.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    QVERIFY(!watch.check());
    QCOMPARE(restored.size(), 1);
}

void TestDatabaseFileWatch::deletedFolderIsReported() {
    auto dir = std::make_unique<QTemporaryDir>();
    const QString path = dir->filePath(QStringLiteral("kestrava.tlmr"));
    Database::createFactory(path);
    Database db;
    db.open(path);
    addProgram(db, QStringLiteral("kept.exe"));
    DatabaseFileWatch watch(db);
    QSignalSpy failed(&watch, &DatabaseFileWatch::failed);
    QVERIFY(QDir(dir->path()).removeRecursively());

    QVERIFY(!watch.check());
    QVERIFY(!watch.check());
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.at(0).at(0).toString().contains(path));
    // The console goes on with what it holds.
    QCOMPARE(programs(db), QStringList{QStringLiteral("kept.exe")});
}

QTEST_GUILESS_MAIN(TestDatabaseFileWatch)
#include "tst_databasefilewatch.moc"
