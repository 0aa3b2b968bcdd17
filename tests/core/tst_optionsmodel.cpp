#include "OptionSwitches.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/options/OptionsModel.h"
#include "protocol/Fields.h"

#include <QSqlQuery>
#include <QTest>

using namespace kestrava;

namespace {

using Notice = ApplyResult::Notice;

// An options window's model over a fresh database, with what it sent.
struct Fixture {
    TempDatabase temp;
    RememberedTray tray;
    RememberedAutoStart autoStart;
    QStringList sent;
    OptionsModel model{temp.db(), tray, autoStart, [this](const QString& message) { sent.append(message); }};

    QVariant stored(const char* column) {
        return temp.db().scalar(QStringLiteral("SELECT %1 FROM Settings_Table").arg(QLatin1String(column)));
    }
};

const Notice kWrongFactory{Notice::Kind::Information,
                           QStringLiteral("Please enter 'Chief' for the Old Password.")};
const Notice kWrongOld{Notice::Kind::Exclamation,
                       QStringLiteral("Incorrect old password, try again..!\r\nNew password not saved.")};
const Notice kMismatch{Notice::Kind::Exclamation,
                       QStringLiteral("Passwords do not match, try again..!\r\nNew password not saved.")};
const Notice kPortChanged{
    Notice::Kind::Exclamation,
    QStringLiteral("Changes you made to the port settings will take effect only after you "
                   "restart the program")};

} // namespace

class TestOptionsModel : public QObject {
    Q_OBJECT
private slots:
    void loadReadsFactoryRow();
    void loadMatchesGroupIgnoringCase();
    void password_data();
    void password();
    void changedBlockMessageSendsToAll();
    void uncheckedPortSendsZero();
    void rootStoresEmptyGroup();
    void portChangeStoredWithMessage();
    void portOutOfRangeNotStored();
    void trayAndAutoStartFollowBoxes();
    void unsendableBlockMessageRefused();
    void databaseErrorFailsOnlyItsStep();
};

void TestOptionsModel::loadReadsFactoryRow() {
    Fixture f;
    f.autoStart.set = true;
    const OptionsValues values = f.model.load();
    QCOMPARE(values.localPort, 8999);
    QCOMPARE(values.blockMessage,
             QStringLiteral("Your IT Adminstrator has prevented you from running \r\nthis application.\r\n"));
    QCOMPARE(values.askPwd, false);
    QCOMPARE(values.addToGroup, QString());
    QCOMPARE(values.showInTray, true);
    QCOMPARE(values.autoStart, true);
    for (const int port : values.ports)
        QCOMPARE(port, 0);
    QCOMPARE(f.model.portAtOpening(), 8999);
    const QString sep(kFieldSeparator);
    QCOMPARE(encodeSettings(f.model.settingsAtOpening()),
             QStringLiteral("O") + sep + QStringLiteral("10") + sep + QStringLiteral("0") + sep +
                 QStringLiteral("0%1").arg(sep).repeated(9) + values.blockMessage + sep);
}

void TestOptionsModel::loadMatchesGroupIgnoringCase() {
    Fixture f;
    for (const char* name : {"Zeta", "Lab", "alpha"})
        f.temp.db().exec(QStringLiteral("INSERT INTO Group_Table(Group_Key, Group_Name) VALUES(?,?)"),
                         {Keys::Make_Group_Key(QLatin1String(name)), QLatin1String(name)});
    f.temp.db().exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup='LAB'"));
    const OptionsValues values = f.model.load();
    QCOMPARE(f.model.groupNames(),
             (QStringList{QStringLiteral("alpha"), QStringLiteral("Lab"), QStringLiteral("Zeta")}));
    QCOMPARE(values.addToGroup, QStringLiteral("Lab"));
    // A name that no group has leaves new systems under the root.
    f.temp.db().exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup='Labs'"));
    QCOMPARE(f.model.load().addToGroup, QString());
}

void TestOptionsModel::password_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("expectedPassword");
    QTest::addColumn<QList<Notice>>("notices");
    QTest::addColumn<int>("focus");
    QTest::addColumn<QString>("label");

    const int none = int(ApplyResult::Focus::None);
    const int newBox = int(ApplyResult::Focus::NewPassword);
    const int oldBox = int(ApplyResult::Focus::OldPassword);
    const QString chief = QStringLiteral("Chief");
    const QString done = QStringLiteral("Password successfully changed...");

    QTest::newRow("only AskPwd") << chief << QString() << QString() << QString() << true << chief
                                 << QList<Notice>{} << none << QString();
    QTest::newRow("changed") << chief << chief << QStringLiteral("s3cret") << QStringLiteral("s3cret") << true
                             << QStringLiteral("s3cret") << QList<Notice>{} << none << done;
    QTest::newRow("wrong old, factory default")
        << chief << QStringLiteral("chief") << QStringLiteral("x") << QStringLiteral("x") << false << chief
        << QList<Notice>{kWrongFactory} << oldBox << QString();
    QTest::newRow("wrong old") << QStringLiteral("Mine") << QStringLiteral("Chief") << QStringLiteral("x")
                               << QStringLiteral("x") << false << QStringLiteral("Mine")
                               << QList<Notice>{kWrongOld} << oldBox << QString();
    QTest::newRow("only new typed") << QStringLiteral("Mine") << QString() << QStringLiteral("x") << QString()
                                    << false << QStringLiteral("Mine") << QList<Notice>{kWrongOld} << oldBox
                                    << QString();
    QTest::newRow("mismatched confirmation")
        << chief << chief << QStringLiteral("abc") << QStringLiteral("abd") << false << chief
        << QList<Notice>{kMismatch} << newBox << QString();
    QTest::newRow("empty new password") << QStringLiteral("Mine") << QStringLiteral("Mine") << QString()
                                        << QString() << true << QString() << QList<Notice>{} << none << done;
}

void TestOptionsModel::password() {
    QFETCH(QString, stored);
    QFETCH(QString, oldPassword);
    QFETCH(QString, newPassword);
    QFETCH(QString, confirm);
    QFETCH(bool, success);
    QFETCH(QString, expectedPassword);
    QFETCH(QList<Notice>, notices);
    QFETCH(int, focus);
    QFETCH(QString, label);

    Fixture f;
    f.temp.db().exec(QStringLiteral("UPDATE Settings_Table SET Password=?"), {stored});
    OptionsValues values = f.model.load();
    values.askPwd = true;
    values.oldPassword = oldPassword;
    values.newPassword = newPassword;
    values.confirmPassword = confirm;
    const ApplyResult result = f.model.apply(values);
    QCOMPARE(result.success, success);
    QCOMPARE(result.notices, notices);
    QCOMPARE(int(result.focus), focus);
    QCOMPARE(result.passwordMessage, label);
    QCOMPARE(result.passwordChanged, label == QStringLiteral("Password successfully changed..."));
    QCOMPARE(f.stored("Password").toString(), expectedPassword);
    // AskPwd is stored whatever became of the password.
    QCOMPARE(f.stored("AskPwd").toInt(), 1);
    QVERIFY(f.sent.isEmpty());
}

void TestOptionsModel::changedBlockMessageSendsToAll() {
    Fixture f;
    OptionsValues values = f.model.load();
    values.blockMessage = QStringLiteral("Not now.\r\nAsk at the desk.");
    ApplyResult result = f.model.apply(values);
    QVERIFY(result.success);
    QVERIFY(result.settingsSent);
    const QString sep(kFieldSeparator);
    const QString payload = sep + QStringLiteral("10") + sep + QStringLiteral("0%1").arg(sep).repeated(10) +
                            values.blockMessage + sep;
    QCOMPARE(f.sent, QStringList{QStringLiteral("O") + payload});
    QCOMPARE(encodeSettings(f.model.settingsAtOpening()), QStringLiteral("O") + payload);
    QCOMPARE(f.stored("AppBlockerMessage").toString(), values.blockMessage);

    // Applying again without a change sends nothing more.
    result = f.model.apply(values);
    QVERIFY(!result.settingsSent);
    QCOMPARE(f.sent.size(), 1);
}

void TestOptionsModel::uncheckedPortSendsZero() {
    Fixture f;
    f.temp.db().exec(QStringLiteral("UPDATE Settings_Table SET HTTP=80, ICQ=1027"));
    OptionsValues values = f.model.load();
    QCOMPARE(values.ports[0], 80);
    QCOMPARE(values.ports[7], 1027);
    values.ports[0] = 0;
    values.ports[9] = 40000;
    f.model.apply(values);
    QCOMPARE(f.stored("HTTP").toInt(), 0);
    QCOMPARE(f.stored("OtherPort").toInt(), 32767);
    QCOMPARE(f.sent.size(), 1);
    const QString sep(kFieldSeparator);
    QVERIFY(f.sent.first().startsWith(QStringLiteral("O") + sep + QStringLiteral("10") + sep +
                                      QStringLiteral("0") + sep));
    QCOMPARE(Get_Field(f.sent.first(), 9), QStringLiteral("1027"));
    QCOMPARE(Get_Field(f.sent.first(), 11), QStringLiteral("32767"));
}

void TestOptionsModel::rootStoresEmptyGroup() {
    Fixture f;
    f.temp.db().exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup='Lab'"));
    OptionsValues values = f.model.load();
    values.addToGroup.clear();
    QVERIFY(f.model.apply(values).success);
    QCOMPARE(f.stored("AddToGroup").toString(), QString());
    values.addToGroup = QStringLiteral("Office");
    f.model.apply(values);
    QCOMPARE(f.stored("AddToGroup").toString(), QStringLiteral("Office"));
}

void TestOptionsModel::portChangeStoredWithMessage() {
    Fixture f;
    OptionsValues values = f.model.load();
    values.localPort = 9100;
    ApplyResult result = f.model.apply(values);
    QVERIFY(result.success);
    QCOMPARE(result.notices, QList<Notice>{kPortChanged});
    QCOMPARE(f.stored("LocalPort").toInt(), 9100);
    QCOMPARE(f.model.portAtOpening(), 9100);
    // The port travels in no message.
    QVERIFY(f.sent.isEmpty());
    result = f.model.apply(values);
    QVERIFY(result.notices.isEmpty());
}

void TestOptionsModel::portOutOfRangeNotStored() {
    Fixture f;
    OptionsValues values = f.model.load();
    values.localPort = 5000;
    QVERIFY(f.model.apply(values).notices.isEmpty());
    QCOMPARE(f.stored("LocalPort").toInt(), 8999);
    QVERIFY(!OptionsModel::isValidLocalPort(32768));
    QVERIFY(OptionsModel::isValidLocalPort(5001));
    QVERIFY(OptionsModel::isValidLocalPort(32767));
}

void TestOptionsModel::trayAndAutoStartFollowBoxes() {
    Fixture f;
    OptionsValues values = f.model.load();
    values.showInTray = false;
    values.autoStart = true;
    f.model.apply(values);
    QVERIFY(!f.tray.visible);
    QVERIFY(f.autoStart.set);
}

void TestOptionsModel::unsendableBlockMessageRefused() {
    Fixture f;
    OptionsValues values = f.model.load();
    const QString before = f.stored("AppBlockerMessage").toString();
    values.blockMessage = QStringLiteral("Blocked") + QString(kFieldSeparator) + QStringLiteral("now");
    values.ports[0] = 80;
    const ApplyResult result = f.model.apply(values);
    QVERIFY(!result.success);
    QCOMPARE(
        result.notices,
        (QList<Notice>{{Notice::Kind::Exclamation,
                        QStringLiteral("The App Blocker Message was not saved. The character '%1' cannot be "
                                       "sent to the client services.")
                            .arg(QString(kFieldSeparator))}}));
    QCOMPARE(f.stored("AppBlockerMessage").toString(), before);
    QCOMPARE(f.stored("HTTP").toInt(), 0);
    QVERIFY(f.sent.isEmpty());
}

void TestOptionsModel::databaseErrorFailsOnlyItsStep() {
    Fixture f;
    OptionsValues values = f.model.load();
    values.askPwd = true;
    values.blockMessage = QStringLiteral("Changed");
    // A port column that holds no value cannot be turned into a payload.
    f.temp.db().exec(QStringLiteral("CREATE TRIGGER spoil AFTER UPDATE OF HTTP ON Settings_Table BEGIN "
                                    "UPDATE Settings_Table SET FTP=NULL; END"));
    const ApplyResult result = f.model.apply(values);
    QVERIFY(!result.success);
    QCOMPARE(result.notices.size(), 1);
    QCOMPARE(result.notices.first().kind, Notice::Kind::Critical);
    QVERIFY(f.sent.isEmpty());
    // The steps before it stay done.
    QCOMPARE(f.stored("AskPwd").toInt(), 1);
}

QTEST_GUILESS_MAIN(TestOptionsModel)
#include "tst_optionsmodel.moc"
