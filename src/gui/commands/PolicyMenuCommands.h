#pragma once

#include "core/policy/PolicyCommands.h"
#include "core/policy/PolicyTarget.h"

#include <QObject>
#include <functional>
#include <memory>

class QWidget;

namespace kestrava {

class Clock;
class ConsoleSelection;
class Database;
class MainMenus;
class Messenger;
class Prompt;
class ScheduleDialog;
class TimerDialog;

// The Internet commands of the main window's popup and Tools menus: asks their questions, runs them on
// the selection and shows what went wrong; opens the schedule and timer editors modal over the owner.
class PolicyMenuCommands final : public QObject {
    Q_OBJECT
public:
    PolicyMenuCommands(QWidget& owner, Database& db, const Clock& clock, ConsoleSelection& selection,
                       QObject* parent = nullptr);
    ~PolicyMenuCommands() override;

    // Each Tools item runs the handler of its popup twin.
    void connectMenus(const MainMenus& menus);
    // The commands change and announce policies only once the link is there; until then they do nothing.
    void setLink(Messenger* messenger);
    void setPrompt(Prompt& prompt);

    // 0 ON, 1 OFF.
    void mnuPUInternetOnOff_Click(int index);
    void mnuPUSetInternetSettingsToClients_Click();
    void mnuPUInheritParentsSchedule_Click();
    void mnuPUClearAllSchedules_Click();
    // The editor opened for a group or system selection; nullptr otherwise.
    ScheduleDialog* mnuPUScheduler_Click();
    TimerDialog* mnuPUTimer_Click();

signals:
    // A command ran or a schedule or timer editor closed: some policy may read differently.
    void policyChanged();

private:
    // The selected group, or the selected system with the node it stands under.
    PolicyTarget selectedTarget() const;
    void run(const std::function<PolicyCommands::Outcome(PolicyCommands&)>& command, const QString& key,
             const QString& text);
    template <typename Dialog> Dialog* openEditor();

    QWidget& m_owner;
    Database& m_db;
    const Clock& m_clock;
    ConsoleSelection& m_selection;
    Messenger* m_messenger = nullptr;
    std::unique_ptr<Prompt> m_ownPrompt;
    Prompt* m_prompt = nullptr;
};

} // namespace kestrava
