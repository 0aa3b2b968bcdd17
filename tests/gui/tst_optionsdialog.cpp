#include "OptionsDialog.h"
#include "RecordingPrompt.h"
#include "TempDatabase.h"
#include "console/Keys.h"
#include "options/AutoStartSwitch.h"
#include "options/TraySwitch.h"
#include "protocol/Fields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace kestrava;

namespace {

struct Tray final : TraySwitch {
    bool visible = true;
    bool isTrayIconVisible() const override { return visible; }
    void setTrayIconVisible(bool on) override { visible = on; }
};

struct AutoStart final : AutoStartSwitch {
    bool set = false;
    bool isAutoStartSet() const override { return set; }
    void setAutoStart(bool on) override { set = on; }
};

template <typename T> T* control(QWidget* window, const char* name, int index = -1) {
    for (T* found : window->findChildren<T*>(QLatin1String(name))) {
        if (index < 0 || found->property("index").toInt() == index)
            return found;
    }
    qFatal("no control %s(%d)", name, index);
}

// The options window over a fresh database, shown, with what it asked and sent.
struct Fixture {
    TempDatabase temp;
    RecordingPrompt prompt;
    Tray tray;
    AutoStart autoStart;
    QStringList sent;
    std::unique_ptr<OptionsDialog> dialog;

    void open() {
        dialog = std::make_unique<OptionsDialog>(
            temp.db(), prompt, tray, autoStart, [this](const QString& message) { sent.append(message); },
            nullptr);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
    template <typename T> T* get(const char* name, int index = -1) {
        return control<T>(dialog.get(), name, index);
    }
    QPushButton* cmdApply() { return get<QPushButton>("cmdApply"); }
    void apply() {
        QVERIFY(cmdApply()->isEnabled());
        QTest::mouseClick(cmdApply(), Qt::LeftButton);
    }
    void choosePage(const char* text) {
        auto* tree = get<QTreeWidget>("treSettings");
        const auto found = tree->findItems(QLatin1String(text), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(found.first()).center());
    }
    QVariant stored(const char* column) {
        return temp.db().scalar(QStringLiteral("SELECT %1 FROM Settings_Table").arg(QLatin1String(column)));
    }
};

int visibleFrame(QWidget* dialog) {
    int shown = -1;
    for (QGroupBox* box : dialog->findChildren<QGroupBox*>(QStringLiteral("fraSettings"))) {
        if (box->isVisible()) {
            // A frame shown outside its place would be squeezed to nothing.
            if (shown >= 0 || box->width() < 200 || box->height() < 100)
                return -2;
            shown = box->property("index").toInt();
        }
    }
    return shown;
}

} // namespace

class TestOptionsDialog : public QObject {
    Q_OBJECT
private slots:
    void opensWithStoredSettings();
    void pagesShowOneFrame();
    void editsEnableApply_data();
    void editsEnableApply();
    void localPortPutBackWhenLeft_data();
    void localPortPutBackWhenLeft();
    void protocolPortCappedWhenLeft();
    void portBoxesTakeDigitsOnly();
    void protocolBoxGivesDefault();
    void setDefaults();
    void apostropheRefusedInMessage();
    void changedMessageSentOnApply();
    void unchangedApplySendsNothing();
    void wrongOldPasswordShowsPasswordPage();
    void newPasswordStored();
    void rootStoresEmptyGroup();
    void unsendableMessageRefused();
    void escapeCloses();
};

void TestOptionsDialog::opensWithStoredSettings() {
    Fixture f;
    f.temp.db().exec(QStringLiteral("INSERT INTO Group_Table(Group_Key, Group_Name) VALUES(?,?),(?,?)"),
                     {Keys::Make_Group_Key(QStringLiteral("Lab")), QStringLiteral("Lab"),
                      Keys::Make_Group_Key(QStringLiteral("Annex")), QStringLiteral("Annex")});
    f.temp.db().exec(
        QStringLiteral("UPDATE Settings_Table SET AddToGroup='lab', AskPwd=1, SMTP=2525, LocalPort=9000"));
    f.autoStart.set = true;
    f.tray.visible = false;
    f.open();
    QCOMPARE(f.dialog->objectName(), QStringLiteral("frmSettings"));
    QCOMPARE(f.dialog->windowTitle(), QStringLiteral("Options - Kestrava"));
    QVERIFY(!f.cmdApply()->isEnabled());
    QCOMPARE(f.cmdApply()->text(), QStringLiteral("&Apply"));
    QCOMPARE(f.get<QPushButton>("cmdClose")->text(), QStringLiteral("&Close"));
    QCOMPARE(f.get<QPlainTextEdit>("txtAppBlockerMessage")->toPlainText(),
             QStringLiteral("Your IT Adminstrator has prevented you from running \nthis application.\n"));
    auto* groups = f.get<QComboBox>("cboGroups");
    QCOMPARE(groups->count(), 3);
    QCOMPARE(groups->itemText(0), QStringLiteral("[Root...]"));
    QCOMPARE(groups->itemText(1), QStringLiteral("Annex"));
    QCOMPARE(groups->currentText(), QStringLiteral("Lab"));
    QVERIFY(f.get<QCheckBox>("chkAskPwd")->isChecked());
    QVERIFY(f.get<QCheckBox>("chkAutoStart")->isChecked());
    QVERIFY(!f.get<QCheckBox>("chkSystray")->isChecked());
    QCOMPARE(f.get<QLineEdit>("txtLocalPort")->text(), QStringLiteral("9000"));
    QCOMPARE(f.get<QLineEdit>("txtLocalPort")->maxLength(), 5);
    for (int i = 0; i < 10; ++i) {
        const bool smtp = i == 3;
        QCOMPARE(f.get<QCheckBox>("chkProtocolPort", i)->isChecked(), smtp);
        QCOMPARE(f.get<QLineEdit>("txtProtocolPort", i)->isEnabled(), smtp);
        QCOMPARE(f.get<QLineEdit>("txtProtocolPort", i)->text(),
                 smtp ? QStringLiteral("2525") : QStringLiteral("0"));
    }
    QCOMPARE(f.get<QCheckBox>("chkProtocolPort", 5)->text(), QStringLiteral("SOCKS"));
    auto* old = f.get<QLineEdit>("txtOldPassword");
    QCOMPARE(old->maxLength(), 30);
    QCOMPARE(old->echoMode(), QLineEdit::Password);
    QVERIFY(f.get<QLabel>("lblPwdMessage")->text().isEmpty());
}

void TestOptionsDialog::pagesShowOneFrame() {
    Fixture f;
    f.open();
    auto* tree = f.get<QTreeWidget>("treSettings");
    QCOMPARE(tree->topLevelItemCount(), 4);
    QStringList nodes;
    for (int i = 0; i < 4; ++i)
        nodes.append(tree->topLevelItem(i)->text(0));
    QCOMPARE(nodes, (QStringList{QStringLiteral("General"), QStringLiteral("Connection"),
                                 QStringLiteral("Password"), QStringLiteral("Port/Proxy")}));
    QCOMPARE(visibleFrame(f.dialog.get()), 0);
    f.choosePage("Password");
    QCOMPARE(visibleFrame(f.dialog.get()), 1);
    f.choosePage("Connection");
    QCOMPARE(visibleFrame(f.dialog.get()), 2);
    f.choosePage("Port/Proxy");
    QCOMPARE(visibleFrame(f.dialog.get()), 3);
    QCOMPARE(f.get<QGroupBox>("fraSettings", 3)->title(), QStringLiteral("Port/Proxy Settings"));
    QVERIFY(!f.cmdApply()->isEnabled());
}

void TestOptionsDialog::editsEnableApply_data() {
    QTest::addColumn<int>("edit");
    for (int i = 0; i < 7; ++i)
        QTest::newRow(QByteArray::number(i).constData()) << i;
}

void TestOptionsDialog::editsEnableApply() {
    QFETCH(int, edit);
    Fixture f;
    f.temp.db().exec(QStringLiteral("INSERT INTO Group_Table(Group_Key, Group_Name) VALUES(?,?)"),
                     {Keys::Make_Group_Key(QStringLiteral("Lab")), QStringLiteral("Lab")});
    f.open();
    switch (edit) {
    case 0:
        f.get<QPlainTextEdit>("txtAppBlockerMessage")->appendPlainText(QStringLiteral("x"));
        break;
    case 1:
        f.get<QComboBox>("cboGroups")->setCurrentIndex(1);
        break;
    case 2:
        f.get<QCheckBox>("chkSystray")->click();
        break;
    case 3:
        f.get<QCheckBox>("chkAutoStart")->click();
        break;
    case 4:
        f.get<QCheckBox>("chkAskPwd")->click();
        break;
    case 5:
        f.get<QLineEdit>("txtConfirmPassword")->setText(QStringLiteral("a"));
        break;
    case 6:
        f.get<QCheckBox>("chkProtocolPort", 2)->click();
        break;
    }
    QVERIFY(f.cmdApply()->isEnabled());
}

void TestOptionsDialog::localPortPutBackWhenLeft_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::newRow("5000") << QStringLiteral("5000") << QStringLiteral("8999");
    QTest::newRow("5001") << QStringLiteral("5001") << QStringLiteral("5001");
    QTest::newRow("32767") << QStringLiteral("32767") << QStringLiteral("32767");
    QTest::newRow("32768") << QStringLiteral("32768") << QStringLiteral("8999");
    QTest::newRow("empty") << QString() << QStringLiteral("8999");
}

void TestOptionsDialog::localPortPutBackWhenLeft() {
    QFETCH(QString, typed);
    QFETCH(QString, after);
    Fixture f;
    f.open();
    f.choosePage("Connection");
    auto* port = f.get<QLineEdit>("txtLocalPort");
    port->setFocus();
    QVERIFY(port->hasFocus());
    port->clear();
    QTest::keyClicks(port, typed);
    f.choosePage("Port/Proxy");
    QCOMPARE(port->text(), after);
}

void TestOptionsDialog::protocolPortCappedWhenLeft() {
    Fixture f;
    f.open();
    f.choosePage("Port/Proxy");
    f.get<QCheckBox>("chkProtocolPort", 0)->click();
    auto* port = f.get<QLineEdit>("txtProtocolPort", 0);
    port->setFocus();
    port->clear();
    QTest::keyClicks(port, QStringLiteral("40000"));
    f.get<QCheckBox>("chkProtocolPort", 1)->setFocus();
    QCOMPARE(port->text(), QStringLiteral("32767"));
}

void TestOptionsDialog::portBoxesTakeDigitsOnly() {
    Fixture f;
    f.open();
    f.choosePage("Connection");
    auto* port = f.get<QLineEdit>("txtLocalPort");
    port->setFocus();
    port->clear();
    QTest::keyClicks(port, QStringLiteral("9a-1 2x"));
    QCOMPARE(port->text(), QStringLiteral("912"));
}

void TestOptionsDialog::protocolBoxGivesDefault() {
    Fixture f;
    f.open();
    auto* check = f.get<QCheckBox>("chkProtocolPort", 7);
    auto* port = f.get<QLineEdit>("txtProtocolPort", 7);
    QVERIFY(!port->isEnabled());
    check->click();
    QCOMPARE(port->text(), QStringLiteral("1027"));
    QVERIFY(port->isEnabled());
    check->click();
    QCOMPARE(port->text(), QStringLiteral("0"));
    QVERIFY(!port->isEnabled());
}

void TestOptionsDialog::setDefaults() {
    Fixture f;
    f.open();
    f.choosePage("Port/Proxy");
    auto* link = f.get<QLabel>("lblDefaults");
    QCOMPARE(link->text(), QStringLiteral("Set Defaults"));
    QTest::mouseClick(link, Qt::LeftButton);
    const QStringList defaults{QStringLiteral("80"),  QStringLiteral("21"),   QStringLiteral("23"),
                               QStringLiteral("25"),  QStringLiteral("110"),  QStringLiteral("1080"),
                               QStringLiteral("119"), QStringLiteral("1027"), QStringLiteral("194"),
                               QStringLiteral("0")};
    for (int i = 0; i < 10; ++i) {
        QVERIFY(f.get<QCheckBox>("chkProtocolPort", i)->isChecked());
        QCOMPARE(f.get<QLineEdit>("txtProtocolPort", i)->text(), defaults[i]);
    }
    QCOMPARE(link->palette().color(QPalette::WindowText),
             link->palette().color(QPalette::Disabled, QPalette::WindowText));
    f.apply();
    QCOMPARE(f.stored("POP3").toInt(), 110);
    QCOMPARE(f.sent.size(), 1);
    QCOMPARE(Get_Field(f.sent.first(), 2), QStringLiteral("80"));
}

void TestOptionsDialog::apostropheRefusedInMessage() {
    Fixture f;
    f.open();
    auto* message = f.get<QPlainTextEdit>("txtAppBlockerMessage");
    message->setFocus();
    message->selectAll();
    QTest::keyClicks(message, QStringLiteral("Don't"));
    QCOMPARE(message->toPlainText(), QStringLiteral("Dont"));
    QTest::keyClicks(message, QString(120, QLatin1Char('x')));
    QCOMPARE(message->toPlainText().size(), 100);
}

void TestOptionsDialog::changedMessageSentOnApply() {
    Fixture f;
    f.open();
    auto* message = f.get<QPlainTextEdit>("txtAppBlockerMessage");
    message->setPlainText(QStringLiteral("Closed.\nAsk at the desk."));
    f.apply();
    QVERIFY(!f.cmdApply()->isEnabled());
    QCOMPARE(f.stored("AppBlockerMessage").toString(), QStringLiteral("Closed.\r\nAsk at the desk."));
    QCOMPARE(f.sent.size(), 1);
    QVERIFY(f.sent.first().startsWith(QLatin1Char('O')));
    QCOMPARE(Get_Field(f.sent.first(), 12), QStringLiteral("Closed.\r\nAsk at the desk."));
    QVERIFY(f.prompt.entries.isEmpty());
}

void TestOptionsDialog::unchangedApplySendsNothing() {
    Fixture f;
    f.open();
    f.get<QCheckBox>("chkSystray")->click();
    f.get<QCheckBox>("chkAutoStart")->click();
    f.apply();
    QVERIFY(!f.cmdApply()->isEnabled());
    QVERIFY(f.sent.isEmpty());
    QVERIFY(!f.tray.visible);
    QVERIFY(f.autoStart.set);
}

void TestOptionsDialog::wrongOldPasswordShowsPasswordPage() {
    Fixture f;
    f.open();
    f.get<QCheckBox>("chkAskPwd")->click();
    f.get<QLineEdit>("txtOldPassword")->setText(QStringLiteral("guess"));
    f.get<QLineEdit>("txtNewPassword")->setText(QStringLiteral("n"));
    f.get<QLineEdit>("txtConfirmPassword")->setText(QStringLiteral("n"));
    f.apply();
    QCOMPARE(f.prompt.texts(RecordingPrompt::Kind::Inform),
             QStringList{QStringLiteral("Please enter 'Chief' for the Old Password.")});
    QVERIFY(f.cmdApply()->isEnabled());
    QCOMPARE(visibleFrame(f.dialog.get()), 1);
    QCOMPARE(f.get<QTreeWidget>("treSettings")->currentItem()->text(0), QStringLiteral("Password"));
    QVERIFY(f.get<QLineEdit>("txtOldPassword")->hasFocus());
    QCOMPARE(f.stored("AskPwd").toInt(), 1);
    QCOMPARE(f.stored("Password").toString(), QStringLiteral("Chief"));
}

void TestOptionsDialog::newPasswordStored() {
    Fixture f;
    f.open();
    f.choosePage("Password");
    f.get<QLineEdit>("txtOldPassword")->setText(QStringLiteral("Chief"));
    f.get<QLineEdit>("txtNewPassword")->setText(QStringLiteral("Kestrel1"));
    f.get<QLineEdit>("txtConfirmPassword")->setText(QStringLiteral("Kestrel1"));
    f.apply();
    QVERIFY(!f.cmdApply()->isEnabled());
    QCOMPARE(f.stored("Password").toString(), QStringLiteral("Kestrel1"));
    QCOMPARE(f.get<QLabel>("lblPwdMessage")->text(), QStringLiteral("Password successfully changed..."));
    for (const char* box : {"txtOldPassword", "txtNewPassword", "txtConfirmPassword"})
        QVERIFY(f.get<QLineEdit>(box)->text().isEmpty());
}

void TestOptionsDialog::rootStoresEmptyGroup() {
    Fixture f;
    f.temp.db().exec(QStringLiteral("INSERT INTO Group_Table(Group_Key, Group_Name) VALUES(?,?)"),
                     {Keys::Make_Group_Key(QStringLiteral("Lab")), QStringLiteral("Lab")});
    f.temp.db().exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup='LAB'"));
    f.open();
    auto* groups = f.get<QComboBox>("cboGroups");
    QCOMPARE(groups->currentText(), QStringLiteral("Lab"));
    groups->setCurrentIndex(0);
    f.apply();
    QCOMPARE(f.stored("AddToGroup").toString(), QString());
}

void TestOptionsDialog::unsendableMessageRefused() {
    Fixture f;
    f.open();
    f.get<QPlainTextEdit>("txtAppBlockerMessage")->setPlainText(QStringLiteral("No 例"));
    f.apply();
    QCOMPARE(
        f.prompt.texts(RecordingPrompt::Kind::Warn),
        QStringList{QStringLiteral("The App Blocker Message was not saved. The character '例' cannot be sent "
                                   "to the client services.")});
    QVERIFY(f.cmdApply()->isEnabled());
    QVERIFY(f.sent.isEmpty());
}

void TestOptionsDialog::escapeCloses() {
    Fixture f;
    f.open();
    f.get<QPlainTextEdit>("txtAppBlockerMessage")->setPlainText(QStringLiteral("Unapplied"));
    QTest::keyClick(f.get<QTreeWidget>("treSettings"), Qt::Key_Escape);
    QVERIFY(!f.dialog->isVisible());
    QVERIFY(f.sent.isEmpty());
    QCOMPARE(f.stored("AppBlockerMessage").toString(),
             QStringLiteral("Your IT Adminstrator has prevented you from running \r\nthis application.\r\n"));
}

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdialog.moc"
