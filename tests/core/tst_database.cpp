#include "TempDatabase.h"
#include "core/link/KeyPins.h"
#include "core/options/SecureLinkSettings.h"
#include "core/store/DatabaseFileWatch.h"
#include "core/store/Schema.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

using namespace kestrava;

class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void factoryFile();
    void openRefusesBadFiles_data();
    void openRefusesBadFiles();
    void writesAndReads();
    void upgradesAFileWithoutKeyColumns();
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

// The factory file is owner-only and is never written over an existing file.
void TestDatabase::factoryFile() {
    TempDatabase temp;
    QCOMPARE(QFile::permissions(temp.path()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteGroup | QFileDevice::WriteOther),
             QFileDevice::Permissions());
    temp.db().exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=9001"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, Database::createFactory(temp.path()));
    QCOMPARE(temp.db().scalar(QStringLiteral("SELECT LocalPort FROM Settings_Table")).toInt(), 9001);
}

// A file that is no database is refused and left as it was; a missing one is not created (start-up's rows).
void TestDatabase::openRefusesBadFiles_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("garbage") << QByteArray(4096, '\x5a');
}

void TestDatabase::openRefusesBadFiles() {
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("kestrava.tlmr")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    Database db;
    QVERIFY_THROWS_EXCEPTION(DatabaseError, db.open(file.fileName()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
    QVERIFY(!QFile::exists(file.fileName() + QStringLiteral("-wal")));
}

// Identifiers are never reused, a failed transaction leaves nothing, and the kept prepared reads see
// new values and let later writes reach other connections at once.
void TestDatabase::writesAndReads() {
    TempDatabase temp;
    Database& db = temp.db();
    const QString insert = QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES (?, ?)");
    for (const char* name : {"A", "B"})
        db.exec(insert, {QStringLiteral("g") + QLatin1String(name), QLatin1String(name)});
    db.exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_Name='B'"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, db.transaction([&] {
        db.exec(insert, {QStringLiteral("gC"), QStringLiteral("C")});
        db.exec(QStringLiteral("INSERT INTO No_Such_Table VALUES (1)"));
    }));
    QVERIFY(
        !db.firstRow(QStringLiteral("SELECT 1 FROM Group_Table WHERE Group_Name=?"), {QStringLiteral("C")}));
    db.exec(insert, {QStringLiteral("gD"), QStringLiteral("D")});

    const QString byName = QStringLiteral("SELECT Group_ID FROM Group_Table WHERE Group_Name=?");
    QCOMPARE(db.firstRow(byName, {QStringLiteral("A")})->value(0).toInt(), 1);
    QCOMPARE(db.firstRow(byName, {QStringLiteral("D")})->value(0).toInt(), 3);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, db.rows(QStringLiteral("SELECT Nothing FROM Nowhere")));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, db.firstRow(byName, {QStringLiteral("x"), 1, 2}));
    db.exec(insert, {QStringLiteral("gE"), QStringLiteral("E")});
    Database other;
    other.open(temp.path());
    QCOMPARE(other.rows(QStringLiteral("SELECT Group_Name FROM Group_Table")).size(), 3);
}

void TestDatabase::upgradesAFileWithoutKeyColumns() {
    TempDatabase temp;
    Database& db = temp.db();
    // What a file of the first version holds: no columns of the authenticated link.
    for (const char* sql : {"ALTER TABLE System_Table DROP COLUMN Key_Fingerprint",
                            "ALTER TABLE Settings_Table DROP COLUMN SecurePort",
                            "ALTER TABLE Settings_Table DROP COLUMN SecureOnly", "PRAGMA user_version=1",
                            "UPDATE Settings_Table SET LocalPort=9100",
                            "INSERT INTO System_Table (System_Key, System_Name) VALUES ('S|PC', 'PC')"})
        db.exec(QLatin1String(sql));
    db.open(temp.path());
    QCOMPARE(db.scalar(QStringLiteral("PRAGMA user_version")).toInt(), Schema::kVersion);
    QCOMPARE(SecureLinkSettings::securePort(db), 9101);
    QVERIFY(!SecureLinkSettings::secureOnly(db));
    KeyPins pins(db);
    QVERIFY(pins.pinOf(QStringLiteral("s|pc")).isEmpty());
    const QByteArray digest(32, '\x5a');
    pins.pin(QStringLiteral("s|pc"), digest);
    db.open(temp.path());
    QCOMPARE(pins.pinOf(QStringLiteral("S|PC")), digest);
    pins.forget(QStringLiteral("S|PC"));
    QVERIFY(pins.pinOf(QStringLiteral("S|PC")).isEmpty());
}

// The database file deleted while the console runs: everything stored before and after the deletion is
// written back to the same path, owner-only, and later changes reach the new file.
void TestDatabase::deletedFileIsWrittenAgain() {
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

void TestDatabase::deletedFolderIsReported() {
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

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
