#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace kestrava {

class ConsoleShell;
class MainWindow;
class Prompt;
class SplashWindow;
class StartupSequence;
struct ConsoleServices;

// The start-up after the single-instance check: environment checks, the splash window while the
// database is compacted, opened and checked, then the main window loaded hidden.
class ConsoleMain final : public QObject {
    Q_OBJECT
public:
    struct Files {
        QString program;
        QString database;
        // The named-value store that receives the install path.
        QString registry;
    };

    ConsoleMain(ConsoleServices& services, Prompt& prompt, Files files, QObject* parent = nullptr);
    ~ConsoleMain() override;

    // Starts up; false when a check failed before the splash window came up.
    bool Main();

    // A command line from a second start; false until the main window is loaded. Errors are shown.
    bool Handle_Copy_Data(const QString& text);

    MainWindow* mainWindow() const { return m_window.get(); }
    ConsoleShell* shell() const { return m_shell.get(); }
    SplashWindow* splash() const { return m_splash.get(); }

signals:
    // The main window is loaded: the console runs.
    void loaded();
    // Start-up ended without a console; when the splash window stayed up, only after it was dismissed.
    void ended();

private:
    void loadMainWindow();
    void unloadSplash();
    void endAfterSplash();

    ConsoleServices& m_services;
    Prompt& m_prompt;
    Files m_files;
    std::unique_ptr<SplashWindow> m_splash;
    StartupSequence* m_sequence = nullptr;
    std::unique_ptr<MainWindow> m_window;
    // Declared after the window: it lets go of the window before the window goes.
    std::unique_ptr<ConsoleShell> m_shell;
};

} // namespace kestrava
