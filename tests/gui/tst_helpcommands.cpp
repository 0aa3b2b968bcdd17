#include "RecordingPrompt.h"
#include "gui/commands/HelpCommands.h"
#include "gui/commands/MainMenus.h"
#include "gui/dialogs/AboutDialog.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
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
    void userGuideIsOpenedOrItsAbsenceSaid();
    void aboutLinksAndCreditsPace();

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

void TestHelpCommands::userGuideIsOpenedOrItsAbsenceSaid() {
    QTemporaryDir folder;
    QWidget owner;
    RecordingPrompt prompt;
    HelpCommands help(owner, prompt, folder.path());
    QVERIFY(!help.showUserGuide());
    QCOMPARE(prompt.texts(RecordingPrompt::Kind::Inform),
             QStringList{QStringLiteral("Cannot find the user guide!")});
    QFile guide(folder.filePath(QStringLiteral("KV-UserGuide.pdf")));
    QVERIFY(guide.open(QIODevice::WriteOnly));
    guide.close();
    QVERIFY(help.showUserGuide());
    QCOMPARE(m_catcher.opened, QList<QUrl>{QUrl::fromLocalFile(guide.fileName())});
    // Without a program for PDF documents, the console says where the guide is.
    help.setOpener([](const QUrl&) { return false; });
    QVERIFY(!help.showUserGuide());
    QCOMPARE(prompt.texts(RecordingPrompt::Kind::Warn),
             QStringList{HelpCommands::noViewerText(QFileInfo(guide.fileName()).absoluteFilePath())});
}

void TestHelpCommands::aboutLinksAndCreditsPace() {
    QWidget owner;
    RecordingPrompt prompt;
    HelpCommands help(owner, prompt, QString());
    AboutDialog* about = help.showAbout();
    QCOMPARE(about->lblTitle->text(), QStringLiteral("Kestrava ver. 1.4"));
    QTest::mouseClick(about->lblLinks[0], Qt::LeftButton);
    QCOMPARE(m_catcher.opened, QList<QUrl>{QUrl(QStringLiteral("mailto:support@kestrava.example"))});
    QVERIFY(!about->tmrInterval->isActive());
    about->sstAbout->setCurrentIndex(2);
    QVERIFY(about->tmrInterval->isActive());
    QCOMPARE(about->tmrInterval->interval(), 450);
    const int top = about->txtCredits->y();
    about->tmrInterval_Timer();
    QCOMPARE(about->txtCredits->y(), top - 1);
    about->close();
}

QTEST_MAIN(TestHelpCommands)
#include "tst_helpcommands.moc"
