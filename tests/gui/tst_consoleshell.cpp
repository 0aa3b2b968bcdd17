#include "RecordingPrompt.h"
#include "TempDatabase.h"
#include "core/console/SystemTree.h"
#include "core/platform/clsRegistry.h"
#include "core/startup/Clock.h"
#include "core/startup/ConsoleServices.h"
#include "core/startup/ProgramFiles.h"
#include "gui/mainwindow/MainWindow.h"
#include "gui/platform/GlobalHotKey.h"
#include "gui/shell/ConsoleShell.h"
#include "gui/shell/PasswordDialog.h"
#include "gui/shell/clsSysTray.h"

#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

using namespace kestrava;

namespace {

// One loaded console over a factory database, as start-up leaves it.
struct Console {
    TempDatabase temp;
    SystemTree tree;
    FixedClock clock{QDateTime(QDate(2024, 3, 4), QTime(9, 0))};
    ConsoleServices services{temp.db(), tree, clock};
    RecordingPrompt prompt;
    MainWindow window{services};
    ConsoleShell shell{services, window, prompt, createGlobalHotKey()};
    clsRegistry registry{temp.dir() + QStringLiteral("/registry.ini")};

    Console() {
        shell.load(registry, temp.dir() + QStringLiteral("/kestrava"));
        shell.Show_Main_Window(false);
    }
    void askForPassword() { temp.db().exec(QStringLiteral("UPDATE Settings_Table SET AskPwd=1")); }
    bool shown() const { return window.isVisible() && !window.isMinimized(); }
    void typePassword(const QString& text) {
        PasswordDialog* dialog = shell.passwordPrompt();
        dialog->txtPassword().setText(text);
        QTest::mouseClick(&dialog->cmdOkay(), Qt::LeftButton);
    }
};

} // namespace

class TestConsoleShell : public QObject {
    Q_OBJECT
private slots:
    void startsMinimisedWithoutTray();
    void restoreAsksForPassword();
    void copyData_data();
    void copyData();
    void modalWindowBlocksCallUp();
    void quitAsksUnlessTheSessionEnds();
};

void TestConsoleShell::startsMinimisedWithoutTray() {
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    Console console;
    QVERIFY(!console.shell.sysTray().Visible());
    QVERIFY(console.window.isVisible() && console.window.isMinimized());
    QCOMPARE(console.window.sysTray(), &console.shell.sysTray());
    QAction& open = console.shell.sysTray().mnuSystrayRestore();
    emit console.shell.sysTray().mnuSysTray().aboutToShow();
    QVERIFY(open.isEnabled());
    console.shell.Restore_Console();
    console.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&console.window));
    emit console.shell.sysTray().mnuSysTray().aboutToShow();
    QVERIFY(!open.isEnabled());
}

void TestConsoleShell::restoreAsksForPassword() {
    Console console;
    console.askForPassword();
    console.shell.Restore_Console();
    QVERIFY(!console.shown());
    QVERIFY(console.shell.passwordPrompt() && console.shell.passwordPrompt()->isVisible());
    console.typePassword(QStringLiteral("Chief"));
    QVERIFY(console.shown());
    QTRY_VERIFY(!console.shell.passwordPrompt());
    // Three wrong tries close the prompt and leave the console where it was.
    console.window.showMinimized();
    console.shell.Restore_Console();
    for (const char* wrong : {"one", "two", "three"})
        console.typePassword(QLatin1String(wrong));
    QCOMPARE(console.prompt.texts(RecordingPrompt::Kind::Warn),
             QStringList(3, QStringLiteral("Incorrect password, try again..!")));
    QTRY_VERIFY(!console.shell.passwordPrompt());
    QVERIFY(!console.shown());
}

void TestConsoleShell::copyData_data() {
    QTest::addColumn<bool>("askPwd");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("calledUp");
    QTest::newRow("right password") << true << QStringLiteral("-v Chief") << true;
    QTest::newRow("wrong password") << true << QStringLiteral("-v chief") << false;
    QTest::newRow("no password asked") << false << QStringLiteral("-v wrong") << true;
}

void TestConsoleShell::copyData() {
    QFETCH(bool, askPwd);
    QFETCH(QString, text);
    QFETCH(bool, calledUp);
    Console console;
    if (askPwd)
        console.askForPassword();
    QCOMPARE(console.shell.Handle_Copy_Data(text), calledUp);
    QCOMPARE(console.shown(), calledUp);
    QVERIFY(!console.shell.passwordPrompt());
}

void TestConsoleShell::modalWindowBlocksCallUp() {
    Console console;
    QDialog modal;
    modal.setModal(true);
    modal.show();
    console.shell.Restore_Console();
    QVERIFY(!console.shown());
    modal.close();
    QVERIFY(console.shell.Handle_Copy_Data(QStringLiteral("-v Chief")));
}

void TestConsoleShell::quitAsksUnlessTheSessionEnds() {
    Console console;
    console.shell.Restore_Console();
    console.prompt.answer = Prompt::Answer::No;
    QVERIFY(!console.window.close());
    QCOMPARE(console.prompt.entries.size(), 1);
    QCOMPARE(console.prompt.entries.constFirst().defaultAnswer, Prompt::Answer::No);
    console.shell.Session_Ending();
    QVERIFY(console.window.close());
    QCOMPARE(console.prompt.entries.size(), 1);
}

QTEST_MAIN(TestConsoleShell)
#include "tst_consoleshell.moc"
