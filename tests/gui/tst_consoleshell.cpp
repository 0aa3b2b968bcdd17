#include "ConsoleShell.h"
#include "MainWindow.h"
#include "PasswordDialog.h"
#include "RecordingPrompt.h"
#include "TempDatabase.h"
#include "clsSysTray.h"
#include "console/SystemTree.h"
#include "platform/GlobalHotKey.h"
#include "platform/clsRegistry.h"
#include "startup/Clock.h"
#include "startup/ConsoleServices.h"
#include "startup/ProgramFiles.h"

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
    void recordsInstallPath();
    void restoreWithoutPassword();
    void restoreAsksForPassword();
    void passwordCounterIsFreshNextTime();
    void copyData_data();
    void copyData();
    void modalWindowBlocksCallUp();
    void quitQuestion_data();
    void quitQuestion();
    void sessionEndClosesWithoutQuestion();
    void restoresPreviousWindowState();
    void trayIconRecord();
};

void TestConsoleShell::startsMinimisedWithoutTray() {
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    Console console;
    QVERIFY(!console.shell.sysTray().Visible());
    QVERIFY(console.window.isVisible());
    QVERIFY(console.window.isMinimized());
    QCOMPARE(console.window.sysTray(), &console.shell.sysTray());
    // Minimising does not hide a window that has no icon to come back by.
    console.shell.Show_Main_Window(true);
    console.window.showMinimized();
    QVERIFY(console.window.isVisible());
}

void TestConsoleShell::recordsInstallPath() {
    Console console;
    QCOMPARE(console.registry.RegQueryKeyValue(HKEY_LOCAL_MACHINE, QLatin1String(kServerKeyPath),
                                               QLatin1String(kInstallPathValue)),
             console.temp.dir());
}

void TestConsoleShell::restoreWithoutPassword() {
    Console console;
    console.shell.Restore_Console();
    QVERIFY(console.shown());
    QVERIFY(!console.shell.passwordPrompt());
}

void TestConsoleShell::restoreAsksForPassword() {
    Console console;
    console.askForPassword();
    console.shell.Restore_Console();
    QVERIFY(!console.shown());
    QVERIFY(console.shell.passwordPrompt());
    QVERIFY(console.shell.passwordPrompt()->isVisible());
    QCOMPARE(console.shell.passwordPrompt()->parentWidget(), &console.window);
    console.typePassword(QStringLiteral("Chief"));
    QVERIFY(console.shown());
    QTRY_VERIFY(!console.shell.passwordPrompt());
}

void TestConsoleShell::passwordCounterIsFreshNextTime() {
    Console console;
    console.askForPassword();
    console.shell.Restore_Console();
    console.typePassword(QStringLiteral("one"));
    // A second call-up while the prompt is up brings the same prompt, still counting.
    console.shell.Restore_Console();
    console.typePassword(QStringLiteral("two"));
    console.typePassword(QStringLiteral("three"));
    QTRY_VERIFY(!console.shell.passwordPrompt());
    QVERIFY(!console.shown());
    QCOMPARE(console.prompt.texts(RecordingPrompt::Kind::Warn).size(), 3);

    console.shell.Restore_Console();
    QCOMPARE(int(console.shell.passwordPrompt()->failedTries()), 0);
    console.typePassword(QStringLiteral("four"));
    console.typePassword(QStringLiteral("five"));
    QVERIFY(console.shell.passwordPrompt());
    console.typePassword(QStringLiteral("Chief"));
    QVERIFY(console.shown());
}

void TestConsoleShell::copyData_data() {
    QTest::addColumn<bool>("askPwd");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("calledUp");
    QTest::newRow("right password") << true << QStringLiteral("-v Chief") << true;
    QTest::newRow("wrong password") << true << QStringLiteral("-v chief") << false;
    QTest::newRow("any character before it") << true << QStringLiteral("-vxChief") << true;
    QTest::newRow("no password asked") << false << QStringLiteral("-v wrong") << true;
    QTest::newRow("just -v") << false << QStringLiteral("-v") << true;
    QTest::newRow("just -v, password asked") << true << QStringLiteral("-v") << false;
    QTest::newRow("other option") << false << QStringLiteral("-x Chief") << false;
    QTest::newRow("one character") << false << QStringLiteral("-") << false;
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
    QVERIFY(console.shell.Is_Modal_Window_Open());
    console.shell.Restore_Console();
    QVERIFY(!console.shown());
    QVERIFY(!console.shell.Handle_Copy_Data(QStringLiteral("-v Chief")));
    modal.close();
    QVERIFY(!console.shell.Is_Modal_Window_Open());
    QVERIFY(console.shell.Handle_Copy_Data(QStringLiteral("-v Chief")));
}

void TestConsoleShell::quitQuestion_data() {
    QTest::addColumn<Prompt::Answer>("answer");
    QTest::addColumn<bool>("closed");
    QTest::newRow("No keeps the console") << Prompt::Answer::No << false;
    QTest::newRow("Yes quits") << Prompt::Answer::Yes << true;
}

void TestConsoleShell::quitQuestion() {
    QFETCH(Prompt::Answer, answer);
    QFETCH(bool, closed);
    Console console;
    console.shell.Restore_Console();
    console.prompt.answer = answer;
    QCOMPARE(console.window.close(), closed);
    QCOMPARE(console.window.isVisible(), !closed);
    QCOMPARE(console.prompt.entries.size(), 1);
    QCOMPARE(console.prompt.entries.constFirst().text,
             QStringLiteral("If you quit the server now, you can no longer keep track of other systems.\r\n"
                            "Do you want to quit now?"));
    QCOMPARE(console.prompt.entries.constFirst().defaultAnswer, Prompt::Answer::No);
}

void TestConsoleShell::sessionEndClosesWithoutQuestion() {
    Console console;
    console.shell.Restore_Console();
    console.prompt.answer = Prompt::Answer::No;
    console.shell.Session_Ending();
    QVERIFY(console.window.close());
    QVERIFY(console.prompt.entries.isEmpty());
}

void TestConsoleShell::restoresPreviousWindowState() {
    Console console;
    console.window.showMaximized();
    console.window.showMinimized();
    QCOMPARE(console.shell.previousWindowState(), ConsoleShell::WindowState::Maximized);
    console.shell.Restore_Console();
    QVERIFY(console.window.isMaximized());
    console.window.showNormal();
    console.window.showMinimized();
    console.shell.Restore_Console();
    QVERIFY(!console.window.isMaximized());
    QVERIFY(console.shown());
}

void TestConsoleShell::trayIconRecord() {
    clsSysTray tray;
    QSignalSpy errors(&tray, &clsSysTray::NIError);
    tray.Initialize(QIcon(), QString(80, QLatin1Char('k')));
    QCOMPARE(tray.tip(), QString(63, QLatin1Char('k')));
    QVERIFY(!tray.Update());
    QVERIFY(!tray.HideIcon());
    QCOMPARE(errors.count(), 1);
    QVERIFY(!tray.Visible());
    QCOMPARE(tray.mnuSysTray().objectName(), QStringLiteral("mnuSysTray"));
    QCOMPARE(tray.mnuSystrayRestore().objectName(), QStringLiteral("mnuSystrayRestore"));
    QCOMPARE(tray.mnuSystrayRestore().text(), QStringLiteral("&Open"));
}

QTEST_MAIN(TestConsoleShell)
#include "tst_consoleshell.moc"
