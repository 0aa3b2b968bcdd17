#include "RecordingPrompt.h"
#include "core/console/SystemTree.h"
#include "core/startup/Clock.h"
#include "core/startup/ConsoleServices.h"
#include "core/startup/ProgramFiles.h"
#include "core/store/Database.h"
#include "gui/common/SplashWindow.h"
#include "gui/mainwindow/MainWindow.h"
#include "gui/shell/ConsoleMain.h"
#include "gui/shell/ConsoleShell.h"

#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrava;

namespace {

struct StartUp {
    QTemporaryDir dir;
    QString program = dir.filePath(QStringLiteral("kestrava"));
    QString database = Database_File_Path(program);
    QString registryFile = dir.filePath(QStringLiteral("registry.ini"));
    Database db;
    SystemTree tree;
    FixedClock clock{QDateTime(QDate(2024, 3, 8), QTime(9, 0))};
    ConsoleServices services{db, tree, clock};
    RecordingPrompt prompt;
    ConsoleMain console{services, prompt, {program, database, registryFile}};

    QByteArray databaseContent() const {
        QFile file(database);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

} // namespace

class TestConsoleMain : public QObject {
    Q_OBJECT
private slots:
    void loadsMainWindowHidden();
    void missingDatabaseEndsAfterSplash();
};

void TestConsoleMain::loadsMainWindowHidden() {
    StartUp s;
    Database::createFactory(s.database);
    QSignalSpy loaded(&s.console, &ConsoleMain::loaded);
    QVERIFY(s.console.Main());
    QVERIFY(s.console.splash());
    QCOMPARE(s.console.splash()->objectName(), QStringLiteral("frmSplash"));
    QCOMPARE(s.console.splash()->pbrLoading().maximum(), 5);
    QVERIFY(loaded.wait(10000));
    QVERIFY(!s.console.splash());
    QVERIFY(s.console.mainWindow());
    QVERIFY(s.console.mainWindow()->isMinimized());
    QCOMPARE(s.console.mainWindow()->windowTitle(), QStringLiteral("Kestrava      "));
    QVERIFY(s.db.isOpen());
    QVERIFY(s.prompt.entries.isEmpty());
    const QSettings registry(s.registryFile, QSettings::IniFormat);
    QCOMPARE(registry.value(QStringLiteral("HKEY_LOCAL_MACHINE/SOFTWARE/Talmerin/Kestrava/Server/Path"))
                 .toString(),
             s.dir.path());
    QVERIFY(s.console.shell()->Handle_Copy_Data(QStringLiteral("-v Chief")));
}

void TestConsoleMain::missingDatabaseEndsAfterSplash() {
    StartUp s;
    QSignalSpy ended(&s.console, &ConsoleMain::ended);
    QVERIFY(s.console.Main());
    QTRY_COMPARE(s.prompt.texts(RecordingPrompt::Kind::Error).size(), 1);
    QVERIFY(s.prompt.texts(RecordingPrompt::Kind::Error).constFirst().startsWith(QStringLiteral("14: ")));
    QVERIFY(!s.console.mainWindow());
    // The splash window stays until it is dismissed; then the program ends.
    QCOMPARE(ended.count(), 0);
    QTest::keyClick(s.console.splash(), Qt::Key_Space);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(QDir(s.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

QTEST_MAIN(TestConsoleMain)
#include "tst_consolemain.moc"
