#pragma once

#include <QObject>
#include <memory>

class QWidget;

namespace kestrava {

class AutoStartSwitch;
class BlockListDialog;
class ConnectionManager;
class ConsoleSelection;
class MainMenus;
class Database;
class Messenger;
class OptionsDialog;
class ProgramCatalogueDialog;
class Prompt;
class TraySwitch;
class UrlCatalogueDialog;
class WhiteListDialog;

// The main window's commands for the catalogues, the group lists and the options. Each opens its
// window modal over the owner; the window deletes itself when it closes.
class ListCommands : public QObject {
    Q_OBJECT
public:
    ListCommands(QWidget& owner, Database& db, ConsoleSelection& selection, QObject* parent = nullptr);
    ~ListCommands() override;

    // The Tools items and the White List and App Blocker items of the File and popup menus.
    void connectMenus(const MainMenus& menus);

    // Without a link nothing is sent when windows close or options are applied.
    void setLink(Messenger* messenger, ConnectionManager* connections);
    // Without a tray icon the options show it as hidden and change nothing.
    void setTraySwitch(TraySwitch* tray);
    // The start entry; the XDG autostart entry of this program unless another is given.
    void setAutoStartSwitch(AutoStartSwitch* autoStart);
    void setPrompt(Prompt& prompt);

    UrlCatalogueDialog* addUrls();
    ProgramCatalogueDialog* addProgramNames();
    OptionsDialog* options();
    // Open only when the active selection is a group; nullptr otherwise.
    WhiteListDialog* whiteList();
    BlockListDialog* appBlocker();

private:
    bool groupSelected(QString& key, QString& text) const;
    void showModal(QWidget* dialog) const;
    void sendUrls(const QString& key);
    void sendPrograms(const QString& key);
    void sendToAll(const QString& message);

    QWidget& m_owner;
    Database& m_db;
    ConsoleSelection& m_selection;
    Messenger* m_messenger = nullptr;
    ConnectionManager* m_connections = nullptr;
    std::unique_ptr<TraySwitch> m_noTray;
    TraySwitch* m_tray = nullptr;
    std::unique_ptr<AutoStartSwitch> m_ownAutoStart;
    AutoStartSwitch* m_autoStart = nullptr;
    std::unique_ptr<Prompt> m_ownPrompt;
    Prompt* m_prompt = nullptr;
};

} // namespace kestrava
