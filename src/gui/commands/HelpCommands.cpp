#include "gui/commands/HelpCommands.h"

#include "core/options/SecureLinkSettings.h"
#include "core/startup/ConsoleServices.h"
#include "core/store/Database.h"
#include "gui/commands/MainMenus.h"
#include "gui/common/Prompt.h"
#include "gui/common/SplashWindow.h"
#include "gui/common/SystemsWindow.h"
#include "gui/dialogs/AboutDialog.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QUrl>

namespace kestrava {

HelpCommands::HelpCommands(QWidget& owner, Prompt& prompt, QString programFolder, QObject* parent)
    : QObject(parent)
    , m_owner(owner)
    , m_prompt(&prompt)
    , m_programFolder(std::move(programFolder))
    , m_open([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

QString HelpCommands::userGuideName() {
    return QStringLiteral("KV-UserGuide.pdf");
}

QString HelpCommands::supportPage() {
    return QStringLiteral("http://www.kestrava.example/support/");
}

void HelpCommands::connectMenus(const MainMenus& menus) {
    connect(menus.mnuHelpUserGuide, &QAction::triggered, this, &HelpCommands::showUserGuide);
    connect(menus.mnuHlpOnline, &QAction::triggered, this, &HelpCommands::showOnlineSupport);
    connect(menus.mnuHelpKV, &QAction::triggered, this, &HelpCommands::showBanner);
    connect(menus.mnuHelpAbout, &QAction::triggered, this, &HelpCommands::showAbout);
}

bool HelpCommands::showUserGuide() {
    const QFileInfo guide(QDir(m_programFolder).filePath(userGuideName()));
    if (!guide.isFile()) {
        m_prompt->inform(&m_owner, QStringLiteral("Cannot find the user guide!"));
        return false;
    }
    if (!m_open(QUrl::fromLocalFile(guide.absoluteFilePath()))) {
        m_prompt->warn(&m_owner, noViewerText(guide.absoluteFilePath()));
        return false;
    }
    return true;
}

void HelpCommands::showOnlineSupport() {
    if (!m_open(QUrl(supportPage())))
        m_prompt->warn(&m_owner, noBrowserText(supportPage()));
}

QString HelpCommands::noViewerText(const QString& path) {
    return QStringLiteral("No program to show PDF documents was found. The user guide is the file\n") + path;
}

QString HelpCommands::noBrowserText(const QString& page) {
    return QStringLiteral("No web browser was found. The support page is\n") + page;
}

void HelpCommands::showBanner() {
    auto* banner = new SplashWindow(&m_owner);
    banner->pbrLoading().hide();
    banner->setAttribute(Qt::WA_DeleteOnClose);
    banner->setWindowModality(Qt::ApplicationModal);
    banner->show();
}

AboutDialog* HelpCommands::showAbout() {
    auto* about = new AboutDialog(&m_owner);
    if (const auto* window = dynamic_cast<const SystemsWindow*>(&m_owner))
        about->setConsoleFingerprint(SecureLinkSettings::fingerprintBeside(window->services().db.path()));
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setWindowModality(Qt::ApplicationModal);
    about->show();
    return about;
}

} // namespace kestrava
