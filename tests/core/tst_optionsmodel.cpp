#include "OptionSwitches.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/options/OptionsModel.h"
#include "core/startup/ConsoleAccess.h"
#include "protocol/Fields.h"
#include "protocol/SettingsOrder.h"

#include <QSqlRecord>
#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;

namespace {

const QString kFactoryMessage =
    u"Your IT Adminstrator has prevented you from running \r\nthis application.\r\n"_s;

// An options window's model over a fresh database, the tray icon shown and autostart set.
struct Fixture {
    TempDatabase temp;
    RememberedTray tray;
    RememberedAutoStart autoStart;
    QStringList sent;
    OptionsModel model{temp.db(), tray, autoStart,
                       [this](const QString& message) { sent << readable(message); }};
    OptionsValues values;

    static QString readable(QString text) {
        return text.replace(kFactoryMessage, u"(factory)"_s).replace(kFieldSeparator, u'|');
    }
    QString loaded() {
        QStringList ports;
        for (const int port : values.ports)
            ports << QString::number(port);
        return u"group=%1 groups=%2 tray=%3 auto=%4 ask=%5 port=%6 ports=%7 opening=%8 %9"_s.arg(
            values.addToGroup, model.groupNames().join(u','), QString::number(values.showInTray),
            QString::number(values.autoStart), QString::number(values.askPwd),
            QString::number(values.localPort), ports.join(u','), QString::number(model.portAtOpening()),
            readable(encodeSettings(model.settingsAtOpening())));
    }
    QString apply() {
        const ApplyResult result = model.apply(values);
        QStringList said{result.success ? u"ok"_s : u"failed"_s};
        for (const ApplyResult::Notice& notice : result.notices)
            said << u"IEC"_s.at(int(notice.kind)) + u':' + notice.text;
        if (result.focus != ApplyResult::Focus::None)
            said << (result.focus == ApplyResult::Focus::OldPassword ? u"focus old"_s : u"focus new"_s);
        if (!result.passwordMessage.isEmpty())
            said << result.passwordMessage;
        if (result.passwordChanged && Check_Password(temp.db(), values.newPassword))
            said << u"opens with the new password"_s;
        return said.join(u' ');
    }
    void set(const QString& field, const QString& value) {
        const bool on = value == u"1";
        if (field == u"block")
            values.blockMessage = value;
        else if (field == u"group")
            values.addToGroup = value;
        else if (field == u"tray")
            values.showInTray = on;
        else if (field == u"auto")
            values.autoStart = on;
        else if (field == u"ask")
            values.askPwd = on;
        else if (field == u"old")
            values.oldPassword = value;
        else if (field == u"new")
            values.newPassword = value;
        else if (field == u"confirm")
            values.confirmPassword = value;
        else if (field == u"port")
            values.localPort = value.toInt();
        else
            values.ports[field.mid(1).toInt()] = value.toInt();
    }
    QString stored() {
        const QSqlRecord r =
            temp.db()
                .rows(u"SELECT Password, AskPwd, AddToGroup, LocalPort, HTTP, ICQ, OtherPort, "
                      "AppBlockerMessage FROM Settings_Table"_s)
                .constFirst();
        QStringList columns;
        for (int i = 0; i < r.count(); ++i)
            columns << readable(r.value(i).toString());
        return columns.join(u'/') + u" tray=%1 auto=%2"_s.arg(tray.visible).arg(autoStart.set);
    }
};

void row(const char* name, const QString& setup, const QString& steps, const QString& log,
         const QString& stored = {}, const QString& sent = {}) {
    QTest::newRow(name) << setup << steps << log << stored << sent;
}

const QString kStored = u"Chief/0//8999/0/0/0/(factory) tray=1 auto=1"_s;

} // namespace

class TestOptionsModel : public QObject {
    Q_OBJECT
private slots:
    void apply_data();
    void apply();
};

// SQL before the window opens (a statement a line); the edits ("field=value") and Apply steps after it; what
// the window loaded (without steps) or what each Apply answered; what is stored after them (empty: as at the
// start) and what went to all systems, separators shown as '|'.
void TestOptionsModel::apply_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("sent");
    const QString groups = u"INSERT INTO Group_Table(Group_Key, Group_Name) VALUES('g\u00c7ZETA', 'Zeta'), "
                           "('g\u00c7LAB', 'Lab'), ('g\u00c7ALPHA', 'alpha')"_s;
    const QString wrongOld = u"E:Incorrect old password, try again..!\r\nNew password not saved. focus old"_s;
    row("factory row", {}, {},
        u"group= groups= tray=1 auto=1 ask=0 port=8999 ports=0,0,0,0,0,0,0,0,0,0 opening=8999 "
        "O|10|0|0|0|0|0|0|0|0|0|0|(factory)|"_s);
    row("group for new systems that no group has",
        groups + u"\nUPDATE Settings_Table SET AddToGroup='Labs'"_s, {},
        u"group= groups=alpha,Lab,Zeta tray=1 auto=1 ask=0 port=8999 ports=0,0,0,0,0,0,0,0,0,0 opening=8999 "
        "O|10|0|0|0|0|0|0|0|0|0|0|(factory)|"_s,
        u"Chief/0/Labs/8999/0/0/0/(factory) tray=1 auto=1"_s);
    row("root for new systems", u"UPDATE Settings_Table SET AddToGroup='Lab'"_s, u"group=|apply"_s, u"ok"_s);

    row("only AskPwd", {}, u"ask=1|apply"_s, u"ok"_s, u"Chief/1//8999/0/0/0/(factory) tray=1 auto=1"_s);
    row("password changed", {}, u"ask=1|old=Chief|new=s3cret|confirm=s3cret|apply"_s,
        u"ok Password successfully changed... opens with the new password"_s,
        u"s3cret/1//8999/0/0/0/(factory) tray=1 auto=1"_s);
    row("wrong old", u"UPDATE Settings_Table SET Password='Mine'"_s, u"old=Chief|new=x|confirm=x|apply"_s,
        u"failed "_s + wrongOld, u"Mine/0//8999/0/0/0/(factory) tray=1 auto=1"_s);
    row("mismatched confirmation", {}, u"old=Chief|new=abc|confirm=abd|apply"_s,
        u"failed E:Passwords do not match, try again..!\r\nNew password not saved. focus new"_s);
    // An empty new password is a password too.
    row("empty new password", u"UPDATE Settings_Table SET Password='Mine'"_s, u"old=Mine|apply"_s,
        u"ok Password successfully changed... opens with the new password"_s,
        u"/0//8999/0/0/0/(factory) tray=1 auto=1"_s);

    row("changed block message goes to all once", {}, u"block=Not now.\r\nAsk at the desk.|apply|apply"_s,
        u"ok ok"_s, u"Chief/0//8999/0/0/0/Not now.\r\nAsk at the desk. tray=1 auto=1"_s,
        u"O|10|0|0|0|0|0|0|0|0|0|0|Not now.\r\nAsk at the desk.|"_s);
    row("unchecked port sends 0, other port at most 32767", u"UPDATE Settings_Table SET HTTP=80, ICQ=1027"_s,
        u"p0=0|p9=40000|apply"_s, u"ok"_s, u"Chief/0//8999/0/1027/32767/(factory) tray=1 auto=1"_s,
        u"O|10|0|0|0|0|0|0|0|1027|0|32767|(factory)|"_s);
    const QString restart =
        u"ok E:Changes you made to the port settings will take effect only after you restart the "
        "program"_s;
    row("port 5001, told once", {}, u"port=5001|apply|apply"_s, restart + u" ok"_s,
        u"Chief/0//5001/0/0/0/(factory) tray=1 auto=1"_s);
    row("port 32767", {}, u"port=32767|apply"_s, restart, u"Chief/0//32767/0/0/0/(factory) tray=1 auto=1"_s);
    row("port 5000 not stored", {}, u"port=5000|apply"_s, u"ok"_s);
    row("port 32768 not stored", {}, u"port=32768|apply"_s, u"ok"_s);
    row("tray and autostart follow the boxes", {}, u"tray=0|auto=0|apply"_s, u"ok"_s,
        u"Chief/0//8999/0/0/0/(factory) tray=0 auto=0"_s);
    row("unsendable block message", {}, u"block=Blocked\u00c7now|p0=80|apply"_s,
        u"failed E:The App Blocker Message was not saved. The character '\u00c7' cannot be sent to the "
        u"client "
        "services."_s);
    // A port column that holds no value cannot be turned into a payload; the steps before it stay done.
    row("database error fails only its step",
        u"CREATE TRIGGER spoil AFTER UPDATE OF HTTP ON Settings_Table BEGIN UPDATE Settings_Table SET "
        u"FTP=NULL; "
        "END"_s,
        u"ask=1|block=Changed|apply"_s, u"failed C:94: Invalid use of Null (FTP)"_s,
        u"Chief/1//8999/0/0/0/Changed tray=1 auto=1"_s);
}

void TestOptionsModel::apply() {
    QFETCH(QString, setup);
    QFETCH(QString, steps);
    QFETCH(QString, log);
    QFETCH(QString, stored);
    QFETCH(QString, sent);
    Fixture f;
    f.autoStart.set = true;
    for (const QString& sql : setup.split(u'\n', Qt::SkipEmptyParts))
        f.temp.db().exec(sql);
    f.values = f.model.load();
    QStringList said;
    for (const QString& step : steps.split(u'|', Qt::SkipEmptyParts))
        if (step == u"apply")
            said << f.apply();
        else
            f.set(step.section(u'=', 0, 0), step.section(u'=', 1));
    QCOMPARE(steps.isEmpty() ? f.loaded() : said.join(u' '), log);
    QCOMPARE(f.stored(), stored.isEmpty() ? kStored : stored);
    QCOMPARE(f.sent.join(u'\n'), sent);
}

QTEST_GUILESS_MAIN(TestOptionsModel)
#include "tst_optionsmodel.moc"
