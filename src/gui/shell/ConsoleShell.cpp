#include "gui/shell/ConsoleShell.h"

#include "core/startup/ConsoleAccess.h"
#include "core/startup/ConsoleServices.h"
#include "core/startup/ProductTitle.h"
#include "core/startup/ProgramFiles.h"
#include "core/store/Database.h"
#include "gui/common/Prompt.h"
#include "gui/mainwindow/MainWindow.h"
#include "gui/platform/GlobalHotKey.h"
#include "gui/shell/PasswordDialog.h"
#include "gui/shell/clsSysTray.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

namespace kestrava {

ConsoleShell::ConsoleShell(ConsoleServices& services, MainWindow& window, Prompt& prompt,
                           std::unique_ptr<GlobalHotKey> hotKey, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_window(window)
    , m_prompt(prompt)
    , m_hotKey(std::move(hotKey))
    , m_sysTray(new clsSysTray(this)) {
    m_window.installEventFilter(this);
    m_window.setSysTray(m_sysTray);
    connect(m_sysTray, &clsSysTray::doubleClicked, this, [this] {
        if (isHiddenOrMinimised())
            callUp();
    });
    connect(&m_sysTray->mnuSystrayRestore(), &QAction::triggered, this, &ConsoleShell::callUp);
    // Once the icon is there, a minimised window leaves the task bar as it would have at start.
    connect(m_sysTray, &clsSysTray::iconAddedLate, this, [this] {
        if (m_window.isMinimized())
            m_window.hide();
    });
    // "Open" means nothing while the window is already shown and in front.
    connect(&m_sysTray->mnuSysTray(), &QMenu::aboutToShow, this, [this] {
        m_sysTray->mnuSystrayRestore().setEnabled(isHiddenOrMinimised() || !m_window.isActiveWindow());
    });
    if (m_hotKey)
        connect(m_hotKey.get(), &GlobalHotKey::activated, this, [this] {
            if (isHiddenOrMinimised())
                callUp();
        });
    connect(qApp, &QGuiApplication::commitDataRequest, this, &ConsoleShell::Session_Ending);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &ConsoleShell::Close_Application);
}

ConsoleShell::~ConsoleShell() {
    m_window.removeEventFilter(this);
    m_window.setSysTray(nullptr);
}

QString ConsoleShell::quitQuestion() {
    return QStringLiteral("If you quit the server now, you can no longer keep track of other systems.\r\n"
                          "Do you want to quit now?");
}

void ConsoleShell::load(clsRegistry& registry, const QString& programFilePath) {
    Record_Install_Path(registry, programFilePath);
    m_sysTray->m_strPopUpMessage = productTitle().trimmed();
    m_sysTray->Initialize(m_window.windowIcon(), m_sysTray->m_strPopUpMessage);
    m_sysTray->setVisible(true);
    if (!m_hotKey || !m_hotKey->registerHotKey())
        std::fputs("kestrava: the hot key Ctrl+Alt+P is not available; the console runs without it.\n",
                   stderr);
}

bool ConsoleShell::Show_Main_Window(bool restore) {
    if (!restore) {
        m_window.setWindowState(m_window.windowState() | Qt::WindowMinimized);
        // Without an icon to come back by, the window stays reachable from the task bar.
        if (m_sysTray->Visible())
            m_window.hide();
        else
            m_window.showMinimized();
        return false;
    }
    if (Is_Modal_Window_Open())
        return false;
    m_window.setWindowState(m_previousWindowState == WindowState::Maximized ? Qt::WindowMaximized
                                                                            : Qt::WindowNoState);
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
    QTreeView& tree = m_window.treSystems();
    if (tree.isVisible() && tree.isEnabled())
        tree.setFocus();
    return true;
}

void ConsoleShell::Restore_Console() {
    if (!Is_Password_Required(m_services.db)) {
        Show_Main_Window(true);
        return;
    }
    if (Is_Modal_Window_Open())
        return;
    if (!m_frmPassword) {
        m_frmPassword = new PasswordDialog(m_services.db, m_prompt, &m_window);
        connect(m_frmPassword, &PasswordDialog::passwordAccepted, this, [this] { Show_Main_Window(true); });
    }
    m_frmPassword->show();
    m_frmPassword->raise();
    m_frmPassword->activateWindow();
}

bool ConsoleShell::Is_Modal_Window_Open() const {
    return QApplication::activeModalWidget() != nullptr;
}

bool ConsoleShell::Handle_Copy_Data(const QString& text) {
    if (text.size() < 2 || !text.startsWith(QLatin1String("-v")))
        return false;
    if (Is_Password_Required(m_services.db) && !Check_Password(m_services.db, text.mid(3)))
        return false;
    return Show_Main_Window(true);
}

void ConsoleShell::Session_Ending() {
    m_sessionEnding = true;
}

void ConsoleShell::callUp() {
    try {
        Restore_Console();
    } catch (const DatabaseError& error) {
        m_prompt.error(&m_window, error.toMessage());
    }
}

bool ConsoleShell::isHiddenOrMinimised() const {
    return !m_window.isVisible() || m_window.isMinimized();
}

bool ConsoleShell::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &m_window)
        return false;
    if (event->type() == QEvent::Close && !confirmClose()) {
        event->ignore();
        return true;
    }
    if (event->type() == QEvent::WindowStateChange)
        rememberWindowState();
    return false;
}

bool ConsoleShell::confirmClose() {
    if (m_closing)
        return true;
    if (!m_sessionEnding &&
        m_prompt.ask(&m_window, quitQuestion(), Prompt::Answer::No) != Prompt::Answer::Yes)
        return false;
    m_closing = true;
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    return true;
}

void ConsoleShell::rememberWindowState() {
    if (m_window.isMinimized()) {
        if (m_sysTray->Visible())
            QTimer::singleShot(0, &m_window, [this] {
                if (m_window.isMinimized())
                    m_window.hide();
            });
        return;
    }
    m_previousWindowState = m_window.isMaximized() ? WindowState::Maximized : WindowState::Normal;
}

void ConsoleShell::Close_Application() {
    if (m_frmPassword)
        m_frmPassword->close();
    if (m_sysTray->Visible())
        m_sysTray->HideIcon();
    m_hotKey.reset();
    m_services.db.close();
}

} // namespace kestrava
