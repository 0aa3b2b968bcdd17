#include "gui/commands/PolicyMenuCommands.h"

#include "core/console/Keys.h"
#include "core/link/Messenger.h"
#include "core/policy/PolicyOwners.h"
#include "core/store/DatabaseError.h"
#include "gui/commands/MainMenus.h"
#include "gui/common/ConsoleSelection.h"
#include "gui/common/MessageBoxPrompt.h"
#include "gui/dialogs/ScheduleDialog.h"
#include "gui/dialogs/TimerDialog.h"

#include <QAction>
#include <array>
#include <utility>

namespace kestrava {

PolicyMenuCommands::PolicyMenuCommands(QWidget& owner, Database& db, const Clock& clock,
                                       ConsoleSelection& selection, QObject* parent)
    : QObject(parent)
    , m_owner(owner)
    , m_db(db)
    , m_clock(clock)
    , m_selection(selection)
    , m_ownPrompt(std::make_unique<MessageBoxPrompt>())
    , m_prompt(m_ownPrompt.get()) {}

PolicyMenuCommands::~PolicyMenuCommands() = default;

void PolicyMenuCommands::connectMenus(const MainMenus& menus) {
    for (std::size_t index = 0; index < 2; ++index) {
        for (QAction* action : {menus.mnuPUInternetOnOff[index], menus.mnuToolsInternetOnOff[index]})
            connect(action, &QAction::triggered, this,
                    [this, index] { mnuPUInternetOnOff_Click(static_cast<int>(index)); });
    }
    const std::pair<std::array<QAction*, 2>, void (PolicyMenuCommands::*)()> twins[] = {
        {{menus.mnuPUSetInternetSettingsToClients, menus.mnuToolsSetInternetSettingsToClients},
         &PolicyMenuCommands::mnuPUSetInternetSettingsToClients_Click},
        {{menus.mnuPUInheritParentsSchedule, menus.mnuToolsInheritParentsSchedule},
         &PolicyMenuCommands::mnuPUInheritParentsSchedule_Click},
        {{menus.mnuPUClearAllSchedules, menus.mnuToolsClearAllSchedules},
         &PolicyMenuCommands::mnuPUClearAllSchedules_Click},
    };
    for (const auto& [actions, handler] : twins) {
        for (QAction* action : actions)
            connect(action, &QAction::triggered, this, handler);
    }
    for (QAction* action : {menus.mnuPUScheduler, menus.mnuToolsScheduler})
        connect(action, &QAction::triggered, this, &PolicyMenuCommands::mnuPUScheduler_Click);
    for (QAction* action : {menus.mnuPUTimer, menus.mnuToolsTimer})
        connect(action, &QAction::triggered, this, &PolicyMenuCommands::mnuPUTimer_Click);
}

void PolicyMenuCommands::setLink(Messenger* messenger) {
    m_messenger = messenger;
}

void PolicyMenuCommands::setPrompt(Prompt& prompt) {
    m_prompt = &prompt;
}

void PolicyMenuCommands::run(const std::function<PolicyCommands::Outcome(PolicyCommands&)>& command,
                             const QString& key, const QString& text) {
    if (!m_messenger)
        return;
    PolicyCommands commands(m_db, *m_messenger);
    try {
        if (command(commands) == PolicyCommands::Outcome::OwnerMissing)
            m_prompt->warn(&m_owner, Keys::Is_Group_Key(key) ? PolicyOwners::groupGoneText(text)
                                                             : PolicyOwners::systemGoneText(text));
    } catch (const DatabaseError& error) {
        m_prompt->error(&m_owner, error.toMessage());
    }
    emit policyChanged();
}

void PolicyMenuCommands::mnuPUInternetOnOff_Click(int index) {
    QString key, text;
    if (!m_selection.Get_Selected_Items_Key_And_Text(key, text))
        return;
    run([&](PolicyCommands& commands) { return commands.setInternet(key, index == 0); }, key, text);
}

void PolicyMenuCommands::mnuPUClearAllSchedules_Click() {
    QString key, text;
    if (!m_selection.Get_Selected_Items_Key_And_Text(key, text))
        return;
    QString question;
    if (Keys::Is_Group_Key(key))
        question = PolicyCommands::clearGroupQuestion(text);
    else if (Keys::Is_System_Key(key))
        question = PolicyCommands::clearSystemQuestion(text);
    else
        return;
    if (m_prompt->ask(&m_owner, question, Prompt::Answer::No) == Prompt::Answer::Yes)
        run([&](PolicyCommands& commands) { return commands.clearInternetSettings(key); }, key, text);
}

void PolicyMenuCommands::mnuPUInheritParentsSchedule_Click() {
    QString key, text;
    if (!m_selection.Get_Selected_Items_Key_And_Text(key, text) || !Keys::Is_System_Key(key))
        return;
    if (m_prompt->ask(&m_owner, PolicyCommands::inheritQuestion(text), Prompt::Answer::No) ==
        Prompt::Answer::Yes)
        run([&](PolicyCommands& commands) { return commands.inheritGroupInternetSettings(key); }, key, text);
}

void PolicyMenuCommands::mnuPUSetInternetSettingsToClients_Click() {
    QString key, text;
    if (!m_selection.Get_Selected_Items_Key_And_Text(key, text) || !Keys::Is_Group_Key(key))
        return;
    if (m_prompt->ask(&m_owner, PolicyCommands::setToClientsQuestion(), Prompt::Answer::Yes) ==
        Prompt::Answer::Yes)
        run([&](PolicyCommands& commands) { return commands.setInternetSettingsToClients(key); }, key, text);
}

PolicyTarget PolicyMenuCommands::selectedTarget() const {
    QString key, text;
    if (!m_selection.Get_Selected_Items_Key_And_Text(key, text))
        return {};
    if (Keys::Is_Group_Key(key))
        return {key, text, {}, {}};
    if (!Keys::Is_System_Key(key))
        return {};
    PolicyTarget target{{}, {}, key, text};
    m_selection.Get_Selected_Items_Parents_Key_And_Text(target.groupKey, target.groupName);
    return target;
}

// Discarded when closed; a failed reading shows its error instead of the editor.
template <typename Dialog> Dialog* PolicyMenuCommands::openEditor() {
    const PolicyTarget target = selectedTarget();
    if (!m_messenger || (!target.isGroup() && !target.isSystem()))
        return nullptr;
    auto dialog = std::make_unique<Dialog>(m_db, m_clock, *m_messenger, *m_prompt, &m_owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    try {
        dialog->load(target);
    } catch (const DatabaseError& error) {
        m_prompt->error(&m_owner, error.toMessage());
        return nullptr;
    }
    Dialog* shown = dialog.release();
    connect(shown, &QDialog::finished, this, &PolicyMenuCommands::policyChanged);
    shown->open();
    return shown;
}

ScheduleDialog* PolicyMenuCommands::mnuPUScheduler_Click() {
    return openEditor<ScheduleDialog>();
}

TimerDialog* PolicyMenuCommands::mnuPUTimer_Click() {
    return openEditor<TimerDialog>();
}

} // namespace kestrava
