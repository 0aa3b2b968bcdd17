// The database file deleted while the console runs: everything stored before and after the deletion is
// written back to the same path, owner-only, and later changes reach the new file.

#include "TempDatabase.h"
#include "core/store/DatabaseFileWatch.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
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
    for (const QSqlRecord& row :
         db.rows(QStringLiteral("SELECT Program FROM Program_Table ORDER BY Program_ID")))
        names << row.value(0).toString();
    return names;
}

void addProgram(Database& db, const char* name) {
    db.exec(QStringLiteral("INSERT INTO Program_Table(Program) VALUES(?)"), {QLatin1String(name)});
}

} // namespace

void TestDatabaseFileWatch::deletedFileIsWrittenAgain() {
    TempDatabase temp;
    DatabaseFileWatch watch(temp.db());
    QSignalSpy restored(&watch, &DatabaseFileWatch::restored);
    QVERIFY(!watch.check());
    addProgram(temp.db(), "before.exe");
    QVERIFY(QFile::remove(temp.path()));
    // Written while the file is gone: it reaches only the open connection.
    addProgram(temp.db(), "meanwhile.exe");

    QVERIFY(watch.check());
    QVERIFY(!watch.check());
    QCOMPARE(restored.size(), 1);
    QVERIFY(restored.at(0).at(0).toString().contains(temp.path()));
    QCOMPARE(QFile::permissions(temp.path()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteGroup | QFileDevice::WriteOther),
             QFileDevice::Permissions());
    addProgram(temp.db(), "after.exe");
    Database reader;
    reader.open(temp.path());
    QCOMPARE(programs(reader), (QStringList{QStringLiteral("before.exe"), QStringLiteral("meanwhile.exe"),
                                            QStringLiteral("after.exe")}));
}

void TestDatabaseFileWatch::deletedFolderIsReported() {
    TempDatabase temp;
    addProgram(temp.db(), "kept.exe");
    DatabaseFileWatch watch(temp.db());
    QSignalSpy failed(&watch, &DatabaseFileWatch::failed);
    QVERIFY(QDir(temp.dir()).removeRecursively());

    QVERIFY(!watch.check());
    QVERIFY(!watch.check());
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.at(0).at(0).toString().contains(temp.path()));
    // The console goes on with what it holds.
    QCOMPARE(programs(temp.db()), QStringList{QStringLiteral("kept.exe")});
}

QTEST_GUILESS_MAIN(TestDatabaseFileWatch)
#include "tst_databasefilewatch.moc"
