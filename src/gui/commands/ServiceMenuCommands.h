#pragma once

#include <QObject>
#include <memory>

class QLabel;

namespace kestrava {

class ConsoleSelection;
class MainMenus;
class Prompt;
class ServiceCommands;
struct ConsoleServices;

// The popup's Service items and Synchronise over the client link's service commands. Without a link
// they do nothing.
class ServiceMenuCommands : public QObject {
    Q_OBJECT
public:
    ServiceMenuCommands(QWidget& window, ConsoleServices& services, ConsoleSelection& selection,
                        QLabel& statusPanel, Prompt& prompt, QObject* parent = nullptr);
    ~ServiceMenuCommands() override;

    void connectMenus(const MainMenus& menus);
    void setPrompt(Prompt& prompt) { m_prompt = &prompt; }
    ServiceCommands* serviceCommands() const { return m_commands.get(); }

    void blankScreen(bool blank);
    void makeVisible();
    void makeInvisible();
    void terminate();
    void uninstall();
    void synchronize();

private:
    void showBusy(bool busy);
    template <typename Work> void guarded(Work work);

    QWidget& m_window;
    ConsoleSelection& m_selection;
    QLabel& m_statusPanel;
    Prompt* m_prompt;
    std::unique_ptr<ServiceCommands> m_commands;
};

} // namespace kestrava
