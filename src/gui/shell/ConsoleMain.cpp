#include "gui/shell/ConsoleMain.h"

#include "core/platform/clsRegistry.h"
#include "core/startup/ConsoleAccess.h"
#include "core/startup/ConsoleServices.h"
#include "core/startup/EnvironmentChecks.h"
#include "core/startup/StartupSequence.h"
#include "core/store/DatabaseError.h"
#include "gui/common/Prompt.h"
#include "gui/common/SplashWindow.h"
#include "gui/mainwindow/MainWindow.h"
#include "gui/platform/GlobalHotKey.h"
#include "gui/shell/ConsoleShell.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>

namespace kestrava {

ConsoleMain::ConsoleMain(ConsoleServices& services, Prompt& prompt, Files files, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_prompt(prompt)
    , m_files(std::move(files)) {}

ConsoleMain::~ConsoleMain() = default;

bool ConsoleMain::Main() {
    if (!Check_OS_Version()) {
        m_prompt.inform(nullptr, osVersionMessage());
        return false;
    }
    if (!Check_Data_Access_Version()) {
        m_prompt.inform(nullptr, dataAccessMessage());
        return false;
    }
    m_splash = std::make_unique<SplashWindow>();
    m_splash->show();

    m_sequence = new StartupSequence(m_services.db, m_files.database, m_services.clock, this);
    connect(m_sequence, &StartupSequence::progressed, this, [this](int value) {
        if (m_splash)
            m_splash->setProgress(value);
    });
    connect(m_sequence, &StartupSequence::incompatibleVersion, this, [this] {
        m_prompt.inform(m_splash.get(), incompatibleVersionMessage());
        unloadSplash();
        emit ended();
    });
    connect(m_sequence, &StartupSequence::failed, this, [this](const QString& message) {
        m_prompt.error(m_splash.get(), message);
        endAfterSplash();
    });
    connect(m_sequence, &StartupSequence::ready, this, [this] {
        loadMainWindow();
        unloadSplash();
        emit loaded();
    });
    m_sequence->start();
    return true;
}

bool ConsoleMain::Handle_Copy_Data(const QString& text) {
    if (!m_shell)
        return false;
    try {
        return m_shell->Handle_Copy_Data(text);
    } catch (const DatabaseError& error) {
        m_prompt.error(m_window.get(), error.toMessage());
        return false;
    }
}

void ConsoleMain::loadMainWindow() {
    m_window = std::make_unique<MainWindow>(m_services);
    m_window->setWindowIcon(QIcon(QStringLiteral(":/icons/root-32.png")));
    m_shell = std::make_unique<ConsoleShell>(m_services, *m_window, m_prompt, createGlobalHotKey());
    clsRegistry registry(m_files.registry);
    // Beside the named values, so that a test's own folder holds it too.
    m_window->rememberLayoutIn(QFileInfo(m_files.registry).dir().filePath(QStringLiteral("window.ini")));
    m_shell->load(registry, m_files.program);
    m_shell->Show_Main_Window(false);
}

void ConsoleMain::unloadSplash() {
    if (m_splash)
        m_splash->close();
    m_splash.reset();
}

// The splash window stays until it is clicked or a key is pressed on it; then the program ends.
void ConsoleMain::endAfterSplash() {
    if (!m_splash || !m_splash->isVisible()) {
        emit ended();
        return;
    }
    connect(m_splash.get(), &SplashWindow::dismissed, this, &ConsoleMain::ended);
}

} // namespace kestrava
