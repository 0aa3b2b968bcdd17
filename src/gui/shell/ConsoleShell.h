#pragma once

#include "gui/shell/PasswordDialog.h"

#include <QObject>
#include <QPointer>
#include <memory>

namespace kestrava {

class GlobalHotKey;
class MainWindow;
class Prompt;
class clsRegistry;
class clsSysTray;
struct ConsoleServices;

// The life of the loaded main window: hidden in the notification area, called up by the icon, the hot key
// or a second start (with the password when the options ask for it), hidden again when minimised, and
// closed only after the administrator confirms, or without asking when the session ends.
class ConsoleShell final : public QObject {
    Q_OBJECT
public:
    // The window state that a call-up restores.
    enum class WindowState { Normal = 0, Maximized = 2 };

    ConsoleShell(ConsoleServices& services, MainWindow& window, Prompt& prompt,
                 std::unique_ptr<GlobalHotKey> hotKey, QObject* parent = nullptr);
    ~ConsoleShell() override;

    static QString quitQuestion();

    // The main window's load steps of the shell: install path, notification-area icon, hot key.
    void load(clsRegistry& registry, const QString& programFilePath);

    // false: the window stays loaded and minimised, hidden while the icon is in the notification area.
    // true: brings it up in its last state unless a modal window is open; true when it came up.
    bool Show_Main_Window(bool restore);
    // Throws DatabaseError.
    void Restore_Console();
    bool Is_Modal_Window_Open() const;
    // A command line from a second start: "-v", one character and the password call the console up.
    // Throws DatabaseError.
    bool Handle_Copy_Data(const QString& text);
    // From now on the window closes without the question.
    void Session_Ending();
    // The call-up of the icon, the hot key and the icon's menu; errors are shown, not thrown.
    void callUp();

    clsSysTray& sysTray() const { return *m_sysTray; }
    PasswordDialog* passwordPrompt() const { return m_frmPassword; }
    WindowState previousWindowState() const { return m_previousWindowState; }
    bool isHiddenOrMinimised() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool confirmClose();
    void rememberWindowState();
    void Close_Application();

    ConsoleServices& m_services;
    MainWindow& m_window;
    Prompt& m_prompt;
    std::unique_ptr<GlobalHotKey> m_hotKey;
    clsSysTray* m_sysTray = nullptr;
    QPointer<PasswordDialog> m_frmPassword;
    WindowState m_previousWindowState = WindowState::Normal;
    bool m_sessionEnding = false;
    bool m_closing = false;
};

} // namespace kestrava
