#include "gui/commands/ListCommands.h"

#include "core/console/Keys.h"
#include "core/link/ConnectionManager.h"
#include "core/link/Messenger.h"
#include "core/link/SecureListener.h"
#include "core/platform/TraySwitch.h"
#include "core/platform/XdgAutoStart.h"
#include "core/startup/ConsoleServices.h"
#include "gui/commands/MainMenus.h"
#include "gui/common/ConsoleSelection.h"
#include "gui/common/MessageBoxPrompt.h"
#include "gui/common/SystemsWindow.h"
#include "gui/dialogs/BlockListDialog.h"
#include "gui/dialogs/OptionsDialog.h"
#include "gui/dialogs/ProgramCatalogueDialog.h"
#include "gui/dialogs/UrlCatalogueDialog.h"
#include "gui/dialogs/WhiteListDialog.h"

#include <QAction>
#include <QCoreApplication>

namespace kestrava {

namespace {

// Stands in while the console has no notification-area icon.
class NoTray final : public TraySwitch {
public:
    bool isTrayIconVisible() const override { return false; }
    void setTrayIconVisible(bool) override {}
};

} // namespace

ListCommands::ListCommands(QWidget& owner, Database& db, ConsoleSelection& selection, QObject* parent)
    : QObject(parent)
    , m_owner(owner)
    , m_db(db)
    , m_selection(selection)
    , m_noTray(std::make_unique<NoTray>())
    , m_tray(m_noTray.get())
    , m_ownAutoStart(std::make_unique<XdgAutoStart>(XdgAutoStart::defaultDirectory(),
                                                    QCoreApplication::applicationFilePath()))
    , m_autoStart(m_ownAutoStart.get())
    , m_ownPrompt(std::make_unique<MessageBoxPrompt>())
    , m_prompt(m_ownPrompt.get()) {}

ListCommands::~ListCommands() = default;

void ListCommands::connectMenus(const MainMenus& menus) {
    connect(menus.mnuToolsAddUrls, &QAction::triggered, this, &ListCommands::addUrls);
    connect(menus.mnuToolsAddProgramNames, &QAction::triggered, this, &ListCommands::addProgramNames);
    connect(menus.mnuToolsOptions, &QAction::triggered, this, &ListCommands::options);
    for (QAction* item : {menus.mnuFleWhiteList, menus.mnuPUWhiteList})
        connect(item, &QAction::triggered, this, &ListCommands::whiteList);
    for (QAction* item : {menus.mnuFleAppBlocker, menus.mnuPUAppBlocker})
        connect(item, &QAction::triggered, this, &ListCommands::appBlocker);
}

void ListCommands::setLink(Messenger* messenger, ConnectionManager* connections) {
    m_messenger = messenger;
    m_connections = connections;
}

void ListCommands::setTraySwitch(TraySwitch* tray) {
    m_tray = tray ? tray : m_noTray.get();
}

void ListCommands::setAutoStartSwitch(AutoStartSwitch* autoStart) {
    m_autoStart = autoStart ? autoStart : m_ownAutoStart.get();
}

void ListCommands::setPrompt(Prompt& prompt) {
    m_prompt = &prompt;
}

UrlCatalogueDialog* ListCommands::addUrls() {
    auto* dialog = new UrlCatalogueDialog(
        m_db, *m_prompt, [this](const QString& key) { sendUrls(key); }, &m_owner);
    showModal(dialog);
    return dialog;
}

ProgramCatalogueDialog* ListCommands::addProgramNames() {
    auto* dialog = new ProgramCatalogueDialog(
        m_db, *m_prompt, [this](const QString& key) { sendPrograms(key); }, &m_owner);
    showModal(dialog);
    return dialog;
}

OptionsDialog* ListCommands::options() {
    auto* dialog = new OptionsDialog(
        m_db, *m_prompt, *m_tray, *m_autoStart, [this](const QString& message) { sendToAll(message); },
        &m_owner);
    connect(dialog, &OptionsDialog::secureOnlyApplied, this, [this, dialog](bool on) {
        const auto* window = dynamic_cast<const SystemsWindow*>(&m_owner);
        SecureListener* secure = window ? window->services().secure : nullptr;
        if (!secure)
            return;
        if (const QString failure = secure->setSecureOnly(on); !failure.isEmpty())
            m_prompt->error(dialog, failure);
    });
    showModal(dialog);
    return dialog;
}

WhiteListDialog* ListCommands::whiteList() {
    QString key, text;
    if (!groupSelected(key, text))
        return nullptr;
    auto* dialog = new WhiteListDialog(
        m_db, *m_prompt, [this](const QString& group) { sendUrls(group); }, key, text, &m_owner);
    showModal(dialog);
    return dialog;
}

BlockListDialog* ListCommands::appBlocker() {
    QString key, text;
    if (!groupSelected(key, text))
        return nullptr;
    auto* dialog = new BlockListDialog(
        m_db, *m_prompt, [this](const QString& group) { sendPrograms(group); }, key, text, &m_owner);
    showModal(dialog);
    return dialog;
}

bool ListCommands::groupSelected(QString& key, QString& text) const {
    if (!Keys::Is_Group_Key(m_selection.Get_Active_Selected_Key()))
        return false;
    if (!m_selection.Get_Selected_Items_Key_And_Text(key, text))
        key.clear();
    return true;
}

void ListCommands::showModal(QWidget* dialog) const {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
}

void ListCommands::sendUrls(const QString& key) {
    if (m_messenger)
        m_messenger->Enumerate_Childs_And_Send_URL(key);
}

void ListCommands::sendPrograms(const QString& key) {
    if (m_messenger)
        m_messenger->Enumerate_Childs_And_Send_Programs(key);
}

void ListCommands::sendToAll(const QString& message) {
    if (m_connections)
        m_connections->Send_Data_To_All_Connected_Systems(message);
}

} // namespace kestrava
