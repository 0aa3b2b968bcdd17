#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace kestrava {

class AboutDialog;
class MainMenus;
class Prompt;

// The Help menu: the user guide beside the program, the support page, the version banner and frmAbout.
class HelpCommands : public QObject {
    Q_OBJECT
public:
    HelpCommands(QWidget& owner, Prompt& prompt, QString programFolder, QObject* parent = nullptr);

    static QString userGuideName(); // "KV-UserGuide.pdf"
    static QString supportPage();

    void connectMenus(const MainMenus& menus);
    void setPrompt(Prompt& prompt) { m_prompt = &prompt; }
    // What opens a document or a page; false when no program took it. The desktop's by default.
    using Opener = std::function<bool(const QUrl&)>;
    void setOpener(Opener opener) { m_open = std::move(opener); }
    static QString noViewerText(const QString& path);
    static QString noBrowserText(const QString& page);

    // False with "Cannot find the user guide!" when the file is missing, and with noViewerText when no
    // program opens it.
    bool showUserGuide();
    void showOnlineSupport();
    void showBanner();
    AboutDialog* showAbout();

private:
    QWidget& m_owner;
    Prompt* m_prompt;
    QString m_programFolder;
    Opener m_open;
};

} // namespace kestrava
