#include "MainWindow.h"
#include "console/SystemTree.h"
#include "startup/Clock.h"
#include "startup/ConsoleServices.h"
#include "startup/ProductTitle.h"
#include "store/Database.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

int main(int argc, char* argv[]) {
    // Qt's own dispatcher: the Glib one pays for every registered socket on every pass.
    qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrava"));
    QApplication::setApplicationVersion(kestrava::versionText());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kestrava console"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);

    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QString dbPath = exe.dir().filePath(exe.completeBaseName() + QStringLiteral(".tlmr"));
    kestrava::Database db;
    try {
        db.open(dbPath);
    } catch (const kestrava::DatabaseError& error) {
        QMessageBox::critical(nullptr, kestrava::productTitle(), error.toMessage());
        return 1;
    }
    kestrava::SystemTree tree;
    kestrava::SystemClock clock;
    kestrava::ConsoleServices services{db, tree, clock};
    kestrava::MainWindow window(services);
    window.show();
    return app.exec();
}
