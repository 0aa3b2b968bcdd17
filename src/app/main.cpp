#include "core/console/SystemTree.h"
#include "core/link/ConnectionManager.h"
#include "core/link/IncomingMessages.h"
#include "core/link/Messenger.h"
#include "core/link/SecureListener.h"
#include "core/options/SecureLinkSettings.h"
#include "core/platform/OpenFileLimit.h"
#include "core/platform/clsRegistry.h"
#include "core/startup/Clock.h"
#include "core/startup/CommandLine.h"
#include "core/startup/ConsoleServices.h"
#include "core/startup/ProductTitle.h"
#include "core/startup/ProgramFiles.h"
#include "core/startup/SingleInstance.h"
#include "core/store/Database.h"
#include "core/store/DatabaseFileWatch.h"
#include "gui/common/MessageBoxPrompt.h"
#include "gui/mainwindow/MainWindow.h"
#include "gui/platform/DisplayCheck.h"
#include "gui/platform/PlatformEventPass.h"
#include "gui/shell/ConsoleMain.h"
#include "gui/shell/LinkErrorQueue.h"
#include "tls/TlsIdentity.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStatusBar>
#include <cstdio>

namespace {

constexpr int kIdentificationNoticeMs = 60000;

// --help and --version, answered without a display and without touching a running console.
int answerQuery(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrava"));
    QCoreApplication::setApplicationVersion(kestrava::versionText());
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Kestrava console: controls internet use on the computers of the local network.\n"
                       "Started while a console runs, \"kestrava -v <password>\" calls that console up."));
    parser.addHelpOption();
    // Long form only: "-v" calls a running console up.
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Displays version information."));
    parser.addOption(version);
    parser.process(app);
    if (parser.isSet(version))
        parser.showVersion();
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    // Qt's own dispatcher: the Glib one pays for every registered socket on every pass.
    qputenv("QT_NO_GLIB", "1");
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (kestrava::Is_Command_Line_Query(arguments))
        return answerQuery(argc, argv);

    // Qt aborts without a display; the administrator gets a sentence instead.
    if (const QString problem = kestrava::displayProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    // Every client service holds a descriptor; an epoll dispatcher keeps a pass cheap with thousands.
    kestrava::raiseOpenFileLimit();
    kestrava::installGuiEventDispatcher();
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(kestrava::versionText());
    // The console lives on in the notification area with no window shown.
    QApplication::setQuitOnLastWindowClosed(false);

    const QString program = QCoreApplication::applicationFilePath();
    kestrava::SingleInstance instance(kestrava::SingleInstance::serverNameFor(program));
    if (instance.Is_Already_Running())
        return kestrava::SingleInstance::exitCodeOf(
            instance.Send_Command_Line(kestrava::Make_Command_Line(arguments)));
    if (!instance.listen())
        std::fputs("kestrava: a second start cannot reach this console.\n", stderr);

    kestrava::Database db;
    kestrava::SystemTree tree;
    kestrava::SystemClock clock;
    kestrava::ConnectionManager connections(db, tree);
    kestrava::SecureListener secure(connections);
    kestrava::Messenger messenger(db, tree, connections, clock);
    kestrava::IncomingMessages incoming(db, tree, clock, connections, messenger);
    QObject::connect(&connections, &kestrava::ConnectionManager::messageReceived, &incoming,
                     &kestrava::IncomingMessages::handleMessage);
    kestrava::ConsoleServices services{db, tree, clock, &connections, &messenger, &secure};
    kestrava::MessageBoxPrompt prompt;
    // One box at a time, none dropped, each also on standard error.
    kestrava::LinkErrorQueue linkErrors(prompt);
    QObject::connect(&incoming, &kestrava::IncomingMessages::errorOccurred, &linkErrors,
                     &kestrava::LinkErrorQueue::post);
    kestrava::ConsoleMain console(
        services, prompt,
        {program, kestrava::Database_File_Path(program), kestrava::clsRegistry::defaultStoreFile()});
    // A computer that does not prove its pinned key is worth a look, not a message box.
    QObject::connect(&incoming, &kestrava::IncomingMessages::identificationRefused, &app,
                     [&](const QString& line) {
                         if (kestrava::MainWindow* window = console.mainWindow())
                             window->statusBar()->showMessage(line, kIdentificationNoticeMs);
                     });
    instance.setHandler([&console](const QString& text) { return console.Handle_Copy_Data(text); });
    QObject::connect(&console, &kestrava::ConsoleMain::ended, &app, [] { QCoreApplication::exit(1); });
    // A database file deleted under the running console is written again from the open connection.
    kestrava::DatabaseFileWatch fileWatch(db);
    QObject::connect(
        &fileWatch, &kestrava::DatabaseFileWatch::restored, &app,
        [&](const QString& message) { prompt.warn(nullptr, message); }, Qt::QueuedConnection);
    QObject::connect(
        &fileWatch, &kestrava::DatabaseFileWatch::failed, &app,
        [&](const QString& message) { prompt.error(nullptr, message); }, Qt::QueuedConnection);
    QObject::connect(&console, &kestrava::ConsoleMain::loaded, &fileWatch, [&] { fileWatch.start(); });
    // Without its ports the console still runs, without client services.
    QObject::connect(&console, &kestrava::ConsoleMain::loaded, &connections, [&] {
        // The key and certificate are made on the first start, beside the database.
        secure.setIdentity(kestrava::TlsIdentity::loadOrCreate(
            kestrava::SecureLinkSettings::keyFileFor(db.path()),
            kestrava::SecureLinkSettings::certificateFileFor(db.path()), QStringLiteral("Kestrava console")));
        for (const QString& failure : secure.openPorts(db))
            prompt.error(nullptr, failure);
    });
    if (!console.Main())
        return 1;
    return app.exec();
}
