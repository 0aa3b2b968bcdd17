#include "TempDatabase.h"
#include "core/startup/ConsoleAccess.h"
#include "core/startup/EnvironmentChecks.h"

#include <QTest>

using namespace kestrava;

class TestStartupChecks : public QObject {
    Q_OBJECT
private slots:
    void databaseVersion_data();
    void databaseVersion();
    void passwordRequired_data();
    void passwordRequired();
    void password_data();
    void password();
    void dataAccessVersion_data();
    void dataAccessVersion();
};

void TestStartupChecks::databaseVersion_data() {
    QTest::addColumn<QVariant>("mark");
    QTest::addColumn<bool>("compatible");
    QTest::newRow("1.4") << QVariant(QStringLiteral("1.4")) << true;
    QTest::newRow("1.40") << QVariant(QStringLiteral("1.40")) << true;
    QTest::newRow("number 1.4") << QVariant(1.4) << true;
    QTest::newRow("blanks around") << QVariant(QStringLiteral(" 1.4 ")) << true;
    QTest::newRow("1.41") << QVariant(QStringLiteral("1.41")) << false;
    QTest::newRow("1.3") << QVariant(QStringLiteral("1.3")) << false;
    QTest::newRow("empty") << QVariant(QString(QLatin1String(""))) << false;
    QTest::newRow("absent") << QVariant() << false;
    QTest::newRow("text") << QVariant(QStringLiteral("one point four")) << false;
    QTest::newRow("no column") << QVariant(QStringLiteral("1.4")) << false;
    QTest::newRow("no row") << QVariant(QStringLiteral("1.4")) << false;
}

void TestStartupChecks::databaseVersion() {
    QFETCH(QVariant, mark);
    QFETCH(bool, compatible);
    TempDatabase temp;
    temp.db().exec(QStringLiteral("UPDATE Settings_Table SET CompatibleVersion=?"), {mark});
    if (qstrcmp(QTest::currentDataTag(), "no column") == 0)
        temp.db().exec(QStringLiteral("ALTER TABLE Settings_Table DROP COLUMN CompatibleVersion"));
    if (qstrcmp(QTest::currentDataTag(), "no row") == 0)
        temp.db().exec(QStringLiteral("DELETE FROM Settings_Table"));
    QCOMPARE(Check_Database_Version(temp.db()), compatible);
}

void TestStartupChecks::passwordRequired_data() {
    QTest::addColumn<QVariant>("askPwd");
    QTest::addColumn<bool>("required");
    QTest::newRow("false") << QVariant(0) << false;
    QTest::newRow("true") << QVariant(1) << true;
}

void TestStartupChecks::passwordRequired() {
    QFETCH(QVariant, askPwd);
    QFETCH(bool, required);
    TempDatabase temp;
    temp.db().exec(QStringLiteral("UPDATE Settings_Table SET AskPwd=?"), {askPwd});
    QCOMPARE(Is_Password_Required(temp.db()), required);
    temp.db().exec(QStringLiteral("DELETE FROM Settings_Table"));
    QVERIFY(!Is_Password_Required(temp.db()));
}

void TestStartupChecks::password_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("right");
    QTest::newRow("factory") << QVariant(QStringLiteral("Chief")) << QStringLiteral("Chief") << true;
    QTest::newRow("letter case counts")
        << QVariant(QStringLiteral("Chief")) << QStringLiteral("chief") << false;
    QTest::newRow("no trimming") << QVariant(QStringLiteral("Chief")) << QStringLiteral("Chief ") << false;
    QTest::newRow("empty typed") << QVariant(QStringLiteral("Chief")) << QString() << false;
    QTest::newRow("absent is empty") << QVariant() << QString() << true;
    QTest::newRow("absent is not text") << QVariant() << QStringLiteral("Chief") << false;
    QTest::newRow("apostrophe") << QVariant(QStringLiteral("o'k")) << QStringLiteral("o'k") << true;
}

void TestStartupChecks::password() {
    QFETCH(QVariant, stored);
    QFETCH(QString, typed);
    QFETCH(bool, right);
    TempDatabase temp;
    temp.db().exec(QStringLiteral("UPDATE Settings_Table SET Password=?"), {stored});
    QCOMPARE(Check_Password(temp.db(), typed), right);
    // Without the settings row no password is right.
    temp.db().exec(QStringLiteral("DELETE FROM Settings_Table"));
    QVERIFY(!Check_Password(temp.db(), typed));
}

void TestStartupChecks::dataAccessVersion_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("sufficient");
    QTest::newRow("3.35.0") << QStringLiteral("3.35.0") << true;
    QTest::newRow("3.40.1") << QStringLiteral("3.40.1") << true;
    QTest::newRow("4.0") << QStringLiteral("4.0") << true;
    QTest::newRow("3.34.1") << QStringLiteral("3.34.1") << false;
    QTest::newRow("3.9 is below 3.35") << QStringLiteral("3.9.0") << false;
    QTest::newRow("2.99") << QStringLiteral("2.99") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("major only") << QStringLiteral("3") << false;
    QTest::newRow("garbage") << QStringLiteral("x.y") << false;
}

void TestStartupChecks::dataAccessVersion() {
    QFETCH(QString, version);
    QFETCH(bool, sufficient);
    QCOMPARE(Is_Data_Access_Version_Sufficient(version), sufficient);
}

QTEST_GUILESS_MAIN(TestStartupChecks)
#include "tst_startupchecks.moc"
