#include "gui/commands/ServiceMenuCommands.h"

#include "core/link/ServiceCommands.h"
#include "core/startup/ConsoleServices.h"
#include "core/startup/ProductTitle.h"
#include "core/store/DatabaseError.h"
#include "gui/commands/MainMenus.h"
#include "gui/common/ConsoleSelection.h"
#include "gui/common/Prompt.h"

#include <QAction>
#include <QApplication>
#include <QLabel>

namespace kestrava {

ServiceMenuCommands::ServiceMenuCommands(QWidget& window, ConsoleServices& services,
                                         ConsoleSelection& selection, QLabel& statusPanel, Prompt& prompt,
                                         QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_selection(selection)
    , m_statusPanel(statusPanel)
    , m_prompt(&prompt) {
    if (services.connections && services.messenger) {
        m_commands =
            std::make_unique<ServiceCommands>(services.db, *services.connections, *services.messenger);
        connect(m_commands.get(), &ServiceCommands::busyChanged, this, &ServiceMenuCommands::showBusy);
        connect(m_commands.get(), &ServiceCommands::errorOccurred, this,
                [this](const QString& message) { m_prompt->error(&m_window, message); });
    }
}

ServiceMenuCommands::~ServiceMenuCommands() = default;

void ServiceMenuCommands::connectMenus(const MainMenus& menus) {
    connect(menus.mnuPUServiceBlankScreen, &QAction::triggered, this, &ServiceMenuCommands::blankScreen);
    connect(menus.mnuPUServiceMakeVisible, &QAction::triggered, this, &ServiceMenuCommands::makeVisible);
    connect(menus.mnuPUServiceMakeInvisible, &QAction::triggered, this, &ServiceMenuCommands::makeInvisible);
    connect(menus.mnuPUServiceTerminate, &QAction::triggered, this, &ServiceMenuCommands::terminate);
    connect(menus.mnuPUServiceUninstall, &QAction::triggered, this, &ServiceMenuCommands::uninstall);
    for (QAction* item : {menus.mnuPUSynchronize, menus.mnuFleSynchronise})
        connect(item, &QAction::triggered, this, &ServiceMenuCommands::synchronize);
}

template <typename Work> void ServiceMenuCommands::guarded(Work work) {
    if (!m_commands)
        return;
    try {
        work();
    } catch (const DatabaseError& error) {
        m_prompt->error(&m_window, error.toMessage());
    }
}

void ServiceMenuCommands::blankScreen(bool blank) {
    QString key, text;
    if (!m_selection.Get_Selected_Items_Key_And_Text(key, text))
        return;
    guarded([&] { m_commands->blankScreen(key, blank); });
}

void ServiceMenuCommands::makeVisible() {
    guarded([&] { m_commands->makeVisible(m_selection.Get_Active_Selected_Key()); });
}

void ServiceMenuCommands::makeInvisible() {
    guarded([&] { m_commands->makeInvisible(m_selection.Get_Active_Selected_Key()); });
}

void ServiceMenuCommands::terminate() {
    QString key, text;
    if (!m_commands || !m_selection.Get_Selected_Items_Key_And_Text(key, text))
        return;
    if (m_prompt->ask(&m_window, ServiceCommands::terminateQuestion(key, text), Prompt::Answer::No) ==
        Prompt::Answer::Yes)
        guarded([&] { m_commands->terminate(m_selection.Get_Active_Selected_Key()); });
}

void ServiceMenuCommands::uninstall() {
    QString key, text;
    if (!m_commands || !m_selection.Get_Selected_Items_Key_And_Text(key, text))
        return;
    if (m_prompt->ask(&m_window, ServiceCommands::uninstallQuestion(key, text), Prompt::Answer::No) ==
        Prompt::Answer::Yes)
        guarded([&] { m_commands->uninstall(m_selection.Get_Active_Selected_Key()); });
}

void ServiceMenuCommands::synchronize() {
    guarded([&] { m_commands->synchronize(m_selection.Get_Active_Selected_Key()); });
}

void ServiceMenuCommands::showBusy(bool busy) {
    m_window.setEnabled(!busy);
    if (busy) {
        m_statusPanel.setText(QStringLiteral("Please Wait..."));
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
        m_statusPanel.setText(QStringLiteral("ver.") + versionText());
    }
}

} // namespace kestrava
