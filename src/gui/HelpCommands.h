#pragma once

#include <QObject>
#include <QString>

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

    // False with "Cannot find the user guide!" when the file is missing.
    bool showUserGuide();
    void showOnlineSupport();
    void showBanner();
    AboutDialog* showAbout();

private:
    QWidget& m_owner;
    Prompt* m_prompt;
    QString m_programFolder;
};

} // namespace kestrava
