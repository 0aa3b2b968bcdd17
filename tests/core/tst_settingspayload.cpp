#include "PolicyRows.h"
#include "TempDatabase.h"
#include "console/Keys.h"
#include "options/SettingsPayload.h"
#include "protocol/Fields.h"

#include <QTest>

using namespace kestrava;

namespace {

QString wire(QString text) {
    return text.replace(QLatin1Char('|'), kFieldSeparator);
}

void setDefaultPorts(Database& db) {
    db.exec(
        QStringLiteral("UPDATE Settings_Table SET HTTP=80, FTP=21, Telnet=23, SMTP=25, POP3=110, "
                       "Socks=1080, News=119, ICQ=1027, IRC=194, OtherPort=0, AppBlockerMessage='message'"));
}

} // namespace

class TestSettingsPayload : public QObject {
    Q_OBJECT
private slots:
    void blankScreenField_data();
    void blankScreenField();
    void noSettingsRow();
    void absentMessageIsEmpty();
    void absentPortIsAnError();
};

void TestSettingsPayload::blankScreenField_data() {
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("expected");
    const QString body = QStringLiteral("|10|80|21|23|25|110|1080|119|1027|194|0|message|");
    QTest::newRow("empty key") << "" << body;
    QTest::newRow("blanked system") << "blanked" << body + QStringLiteral("True|");
    QTest::newRow("system") << "system" << body + QStringLiteral("False|");
    QTest::newRow("blanked group") << "group" << body + QStringLiteral("True|");
    QTest::newRow("unknown system") << "unknown" << body + QStringLiteral("False|");
    QTest::newRow("unknown group") << "unknownGroup" << body + QStringLiteral("False|");
    QTest::newRow("root") << "root" << body;
}

void TestSettingsPayload::blankScreenField() {
    QFETCH(QString, which);
    QFETCH(QString, expected);
    TempDatabase temp;
    Database& db = temp.db();
    setDefaultPorts(db);
    const int groupId = PolicyRows::addGroup(db, QStringLiteral("Lab"));
    db.exec(QStringLiteral("UPDATE Group_Table SET Blank_Screen=1"));
    const QString blanked = PolicyRows::addSystem(db, QStringLiteral("ID1"), QStringLiteral("PC1"), groupId);
    db.exec(QStringLiteral("UPDATE System_Table SET Blank_Screen=1"));
    const QString system = PolicyRows::addSystem(db, QStringLiteral("ID2"), QStringLiteral("PC2"), groupId);
    const QHash<QString, QString> keys{
        {QStringLiteral("blanked"), blanked},
        {QStringLiteral("system"), system},
        {QStringLiteral("group"), PolicyRows::groupKey(QStringLiteral("Lab"))},
        {QStringLiteral("unknown"), Keys::Make_System_Key(QStringLiteral("X"), QStringLiteral("Y"))},
        {QStringLiteral("unknownGroup"), PolicyRows::groupKey(QStringLiteral("Nobody"))},
        {QStringLiteral("root"), Keys::rootKey()},
    };
    QCOMPARE(Get_The_Settings(db, keys.value(which)), wire(expected));
}

void TestSettingsPayload::noSettingsRow() {
    TempDatabase temp;
    const QString key = PolicyRows::addSystem(temp.db(), QStringLiteral("ID1"), QStringLiteral("PC1"), 0);
    temp.db().exec(QStringLiteral("DELETE FROM Settings_Table"));
    QCOMPARE(Get_The_Settings(temp.db(), QString()), QString());
    QCOMPARE(Get_The_Settings(temp.db(), key), wire(QStringLiteral("False|")));
}

void TestSettingsPayload::absentMessageIsEmpty() {
    TempDatabase temp;
    temp.db().exec(QStringLiteral("UPDATE Settings_Table SET AppBlockerMessage=NULL"));
    QCOMPARE(Get_The_Settings(temp.db(), QString()), wire(QStringLiteral("|10|0|0|0|0|0|0|0|0|0|0||")));
}

void TestSettingsPayload::absentPortIsAnError() {
    TempDatabase temp;
    temp.db().exec(QStringLiteral("UPDATE Settings_Table SET ICQ=NULL"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, Get_The_Settings(temp.db(), QString()));
}

QTEST_GUILESS_MAIN(TestSettingsPayload)
#include "tst_settingspayload.moc"
