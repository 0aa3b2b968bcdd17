#include "AboutDialog.h"
#include "HelpCommands.h"
#include "MainMenus.h"
#include "RecordingPrompt.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace kestrava;

// Takes the addresses that would go to the desktop's default handlers.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class TestHelpCommands : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void missingUserGuideIsReported();
    void userGuideBesideTheProgramIsOpened();
    void versionBannerCaption();
    void aboutShowsVersionAndBuild();
    void creditsScrollOnlyOnTheirTab();
    void creditsComeBackFromTheBottom();

private:
    UrlCatcher m_catcher;
};

void TestHelpCommands::init() {
    m_catcher.opened.clear();
    for (const char* scheme : {"file", "http", "mailto"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_catcher, "open");
}

void TestHelpCommands::cleanup() {
    for (const char* scheme : {"file", "http", "mailto"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
}

void TestHelpCommands::missingUserGuideIsReported() {
    QTemporaryDir folder;
    QWidget owner;
    RecordingPrompt prompt;
    HelpCommands help(owner, prompt, folder.path());
    QVERIFY(!help.showUserGuide());
    QCOMPARE(prompt.texts(RecordingPrompt::Kind::Inform),
             QStringList{QStringLiteral("Cannot find the user guide!")});
    QVERIFY(m_catcher.opened.isEmpty());
}

void TestHelpCommands::userGuideBesideTheProgramIsOpened() {
    QTemporaryDir folder;
    QFile guide(folder.filePath(QStringLiteral("KV-UserGuide.pdf")));
    QVERIFY(guide.open(QIODevice::WriteOnly));
    guide.close();
    QWidget owner;
    RecordingPrompt prompt;
    HelpCommands help(owner, prompt, folder.path());
    QVERIFY(help.showUserGuide());
    QVERIFY(prompt.entries.isEmpty());
    QCOMPARE(m_catcher.opened, QList<QUrl>{QUrl::fromLocalFile(guide.fileName())});
}

void TestHelpCommands::versionBannerCaption() {
    QMainWindow window;
    MainMenus menus(window.menuBar(), &window);
    QCOMPARE(menus.mnuHelpKV->text(), QStringLiteral("Kestrava ver. 1.4"));
    QCOMPARE(menus.mnuHelpAbout->text(), QStringLiteral("&About"));
}

void TestHelpCommands::aboutShowsVersionAndBuild() {
    QWidget owner;
    RecordingPrompt prompt;
    HelpCommands help(owner, prompt, QString());
    AboutDialog* about = help.showAbout();
    QCOMPARE(about->windowTitle(), QStringLiteral("About - Kestrava"));
    QCOMPARE(about->lblTitle->text(), QStringLiteral("Kestrava ver. 1.4"));
    QCOMPARE(about->lblBuild->text(), QStringLiteral("Build 1.4.0"));
    QCOMPARE(about->sstAbout->currentIndex(), 0);
    QVERIFY(
        about->txtCredits->text().startsWith(QStringLiteral("Kestrava Version 1.4\r\n\r\nBuild 1.4.0\r\n")));
    QTest::mouseClick(about->lblLinks[0], Qt::LeftButton);
    QCOMPARE(m_catcher.opened, QList<QUrl>{QUrl(QStringLiteral("mailto:support@kestrava.example"))});
    about->close();
}

void TestHelpCommands::creditsScrollOnlyOnTheirTab() {
    AboutDialog about;
    about.show();
    QVERIFY(!about.tmrInterval->isActive());
    QCOMPARE(about.tmrInterval->interval(), 30);
    about.sstAbout->setCurrentIndex(2);
    QVERIFY(about.tmrInterval->isActive());
    const int top = about.txtCredits->y();
    about.tmrInterval_Timer();
    QCOMPARE(about.txtCredits->y(), top - 1);
    about.sstAbout->setCurrentIndex(1);
    QVERIFY(!about.tmrInterval->isActive());
    QCOMPARE(about.txtCredits->y(), top - 1);
}

void TestHelpCommands::creditsComeBackFromTheBottom() {
    AboutDialog about;
    about.show();
    about.sstAbout->setCurrentIndex(2);
    about.txtCredits->move(0, -about.txtCredits->height());
    about.tmrInterval_Timer();
    QCOMPARE(about.txtCredits->y(), about.picContainer->height());
}

QTEST_MAIN(TestHelpCommands)
#include "tst_helpcommands.moc"
