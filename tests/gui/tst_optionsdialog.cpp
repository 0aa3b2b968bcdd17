#include "RecordingPrompt.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/platform/AutoStartSwitch.h"
#include "core/platform/TraySwitch.h"
#include "gui/dialogs/OptionsDialog.h"
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
    void applyStoresAndSends();
    void localPortOutOfRangeIsKeptAndExplained();
    void wrongOldPasswordShowsPasswordPage();
};

void TestOptionsDialog::opensWithStoredSettings() {
    Fixture f;
    f.temp.db().exec(QStringLiteral("INSERT INTO Group_Table(Group_Key, Group_Name) VALUES(?,?)"),
                     {Keys::Make_Group_Key(QStringLiteral("Lab")), QStringLiteral("Lab")});
    f.temp.db().exec(
        QStringLiteral("UPDATE Settings_Table SET AddToGroup='lab', AskPwd=1, SMTP=2525, LocalPort=9000"));
    f.autoStart.set = true;
    f.tray.visible = false;
    f.open();
    QVERIFY(!f.cmdApply()->isEnabled());
    QCOMPARE(f.get<QComboBox>("cboGroups")->currentText(), QStringLiteral("Lab"));
    QVERIFY(f.get<QCheckBox>("chkAskPwd")->isChecked() && f.get<QCheckBox>("chkAutoStart")->isChecked());
    QVERIFY(!f.get<QCheckBox>("chkSystray")->isChecked());
    QCOMPARE(f.get<QLineEdit>("txtLocalPort")->text(), QStringLiteral("9000"));
    QCOMPARE(f.get<QLineEdit>("txtProtocolPort", 3)->text(), QStringLiteral("2525"));
    QVERIFY(!f.get<QLineEdit>("txtProtocolPort", 2)->isEnabled());
    auto* tree = f.get<QTreeWidget>("treSettings");
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        QVERIFY(!tree->topLevelItem(i)->icon(0).isNull());
    QCOMPARE(visibleFrame(f.dialog.get()), 0);
    f.choosePage("Port/Proxy");
    QCOMPARE(visibleFrame(f.dialog.get()), 3);
}

void TestOptionsDialog::applyStoresAndSends() {
    Fixture f;
    f.open();
    f.get<QPlainTextEdit>("txtAppBlockerMessage")->setPlainText(QStringLiteral("Closed.\nAsk at the desk."));
    f.choosePage("Port/Proxy");
    auto* link = f.get<QLabel>("lblDefaults");
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(link->palette().color(QPalette::WindowText),
             link->palette().color(QPalette::Disabled, QPalette::WindowText));
    f.apply();
    QVERIFY(!f.cmdApply()->isEnabled());
    QCOMPARE(f.stored("AppBlockerMessage").toString(), QStringLiteral("Closed.\r\nAsk at the desk."));
    QCOMPARE(f.stored("POP3").toInt(), 110);
    QCOMPARE(f.sent.size(), 1);
    QCOMPARE(Get_Field(f.sent.first(), 2), QStringLiteral("80"));
    QVERIFY(f.prompt.entries.isEmpty());
}

void TestOptionsDialog::localPortOutOfRangeIsKeptAndExplained() {
    Fixture f;
    f.open();
    f.choosePage("Connection");
    auto* port = f.get<QLineEdit>("txtLocalPort");
    port->setFocus();
    port->clear();
    QTest::keyClicks(port, QStringLiteral("40000"));
    f.choosePage("General");
    f.get<QCheckBox>("chkAskPwd")->click();
    QCOMPARE(port->text(), QStringLiteral("40000"));
    f.apply();
    QCOMPARE(f.prompt.texts(RecordingPrompt::Kind::Warn),
             QStringList{OptionsDialog::localPortRefusedText(QStringLiteral("40000"))});
    QCOMPARE(port->text(), QStringLiteral("40000"));
    QCOMPARE(visibleFrame(f.dialog.get()), 2);
    QVERIFY(f.cmdApply()->isEnabled());
    QCOMPARE(f.stored("LocalPort").toInt(), 8999);
    QCOMPARE(f.stored("AskPwd").toInt(), 1);
}

void TestOptionsDialog::wrongOldPasswordShowsPasswordPage() {
    Fixture f;
    f.open();
    f.get<QLineEdit>("txtOldPassword")->setText(QStringLiteral("guess"));
    f.get<QLineEdit>("txtNewPassword")->setText(QStringLiteral("n"));
    f.get<QLineEdit>("txtConfirmPassword")->setText(QStringLiteral("n"));
    f.apply();
    QCOMPARE(f.prompt.texts(RecordingPrompt::Kind::Inform),
             QStringList{QStringLiteral("Please enter 'Chief' for the Old Password.")});
    QCOMPARE(visibleFrame(f.dialog.get()), 1);
    QVERIFY(f.get<QLineEdit>("txtOldPassword")->hasFocus());
    QCOMPARE(f.stored("Password").toString(), QStringLiteral("Chief"));
}

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdialog.moc"
