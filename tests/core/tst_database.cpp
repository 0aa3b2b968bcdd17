#include "TempDatabase.h"
#include "core/link/KeyPins.h"
#include "core/options/SecureLinkSettings.h"
#include "core/store/DatabaseFileWatch.h"
#include "core/store/Schema.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
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
    void deletedFile_data();
    void deletedFile();
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

bool ownerOnly(const QString& path) {
    return !(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                         QFileDevice::WriteGroup | QFileDevice::WriteOther));
}

} // namespace

// The factory file is owner-only and is never written over an existing file.
void TestDatabase::factoryFile() {
    TempDatabase temp;
    QVERIFY(ownerOnly(temp.path()));
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

// Identifiers are never reused, a failed transaction leaves nothing, bad statements throw, and writes
// reach other connections at once.
void TestDatabase::writesAndReads() {
    TempDatabase temp;
    Database& db = temp.db();
    addProgram(db, "a");
    addProgram(db, "b");
    db.exec(QStringLiteral("DELETE FROM Program_Table WHERE Program='b'"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, db.transaction([&] {
        addProgram(db, "c");
        db.exec(QStringLiteral("INSERT INTO No_Such_Table VALUES (1)"));
    }));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, db.rows(QStringLiteral("SELECT Nothing FROM Nowhere")));
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             db.firstRow(QStringLiteral("SELECT ?"), {QStringLiteral("x"), 1, 2}));
    addProgram(db, "d");
    Database other;
    other.open(temp.path());
    QCOMPARE(other.scalar(QStringLiteral("SELECT group_concat(Program_ID || Program) FROM Program_Table"))
                 .toString(),
             QStringLiteral("1a,3d"));
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
    const QByteArray digest(32, '\x5a');
    pins.pin(QStringLiteral("s|pc"), digest);
    QCOMPARE(pins.pinOf(QStringLiteral("S|PC")), digest);
    pins.forget(QStringLiteral("S|PC"));
    QVERIFY(pins.pinOf(QStringLiteral("S|PC")).isEmpty());
}

// The database file deleted while the console runs: what was stored before and after is written back
// to the same path, owner-only. With its folder gone, the console goes on with what it holds.
void TestDatabase::deletedFile_data() {
    QTest::addColumn<bool>("folder");
    QTest::newRow("file") << false;
    QTest::newRow("folder") << true;
}

void TestDatabase::deletedFile() {
    QFETCH(bool, folder);
    TempDatabase temp;
    DatabaseFileWatch watch(temp.db());
    QSignalSpy restored(&watch, &DatabaseFileWatch::restored);
    QSignalSpy failed(&watch, &DatabaseFileWatch::failed);
    QVERIFY(!watch.check());
    addProgram(temp.db(), "before.exe");
    QVERIFY(folder ? QDir(temp.dir()).removeRecursively() : QFile::remove(temp.path()));
    addProgram(temp.db(), "meanwhile.exe");

    QCOMPARE(watch.check(), !folder);
    QVERIFY(!watch.check());
    QCOMPARE((QList<int>{int(restored.size()), int(failed.size())}), (QList<int>{!folder, folder}));
    QVERIFY((folder ? failed : restored).at(0).at(0).toString().contains(temp.path()));
    Database reader;
    if (!folder) {
        QVERIFY(ownerOnly(temp.path()));
        reader.open(temp.path());
    }
    addProgram(temp.db(), "after.exe");
    QCOMPARE(programs(folder ? temp.db() : reader),
             (QStringList{QStringLiteral("before.exe"), QStringLiteral("meanwhile.exe"),
                          QStringLiteral("after.exe")}));
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
