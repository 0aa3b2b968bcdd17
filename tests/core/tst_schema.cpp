#include "TempDatabase.h"
#include "core/link/KeyPins.h"
#include "core/options/SecureLinkSettings.h"
#include "core/store/Schema.h"

#include <QFile>
#include <QSqlQuery>
#include <QTest>

using namespace kestrava;

class TestSchema : public QObject {
    Q_OBJECT
private slots:
    void factorySettingsRow();
    void identifierNotReusedAfterDeletingHighest();
    void factoryFileIsOwnerOnly();
    void createRefusesExistingFile();
    void openRefusesBadFiles_data();
    void openRefusesBadFiles();
    void transactionRollsBackOnError();
    void upgradesAFileWithoutKeyColumns();
};

void TestSchema::factorySettingsRow() {
    TempDatabase temp;
    QSqlQuery q = temp.db().exec(QStringLiteral("SELECT * FROM Settings_Table"));
    QVERIFY(q.next());
    QCOMPARE(q.value(QStringLiteral("ID")).toInt(), 1);
    // The options the window shows are checked with the options model.
    QCOMPARE(q.value(QStringLiteral("Password")).toString(), QStringLiteral("Chief"));
    QCOMPARE(q.value(QStringLiteral("AskPwd")).toBool(), false);
    QCOMPARE(q.value(QStringLiteral("CompatibleVersion")).toDouble(), 1.4);
    QVERIFY(!q.next());
}

void TestSchema::identifierNotReusedAfterDeletingHighest() {
    TempDatabase temp;
    Database& db = temp.db();
    for (const char* name : {"A", "B"})
        db.exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES (?, ?)"),
                {QStringLiteral("g") + QLatin1String(name), QLatin1String(name)});
    const int highest = db.scalar(QStringLiteral("SELECT max(Group_ID) FROM Group_Table")).toInt();
    db.exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_ID=?"), {highest});
    db.exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES ('gC', 'C')"));
    QVERIFY(db.scalar(QStringLiteral("SELECT Group_ID FROM Group_Table WHERE Group_Name='C'")).toInt() >
            highest);
}

void TestSchema::factoryFileIsOwnerOnly() {
    TempDatabase temp;
    const auto permissions = QFile::permissions(temp.path());
    QVERIFY(permissions & QFileDevice::ReadOwner);
    QVERIFY(!(permissions & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup |
                             QFileDevice::WriteOther)));
}

void TestSchema::createRefusesExistingFile() {
    TempDatabase temp;
    temp.db().exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=9001"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, Database::createFactory(temp.path()));
    QCOMPARE(temp.db().scalar(QStringLiteral("SELECT LocalPort FROM Settings_Table")).toInt(), 9001);
}

void TestSchema::openRefusesBadFiles_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("create");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("text") << QByteArray("this is not a database, just some text that is long enough") << true;
    QTest::newRow("garbage") << QByteArray(4096, '\x5a') << true;
}

void TestSchema::openRefusesBadFiles() {
    QFETCH(QByteArray, content);
    QFETCH(bool, create);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kestrava.tlmr"));
    if (create) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    Database db;
    QVERIFY_THROWS_EXCEPTION(DatabaseError, db.open(path));
    QCOMPARE(QFile::exists(path), create);
    if (create) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
    QVERIFY(!QFile::exists(path + QStringLiteral("-wal")));
}

void TestSchema::transactionRollsBackOnError() {
    TempDatabase temp;
    Database& db = temp.db();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, db.transaction([&] {
        db.exec(QStringLiteral("INSERT INTO Program_Table (Program) VALUES ('a.exe')"));
        db.exec(QStringLiteral("INSERT INTO No_Such_Table VALUES (1)"));
    }));
    QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM Program_Table")).toInt(), 0);
}

void TestSchema::upgradesAFileWithoutKeyColumns() {
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

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
