#include "core/store/Database.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

// Writes a factory policy database.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrava-initdb"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Creates a factory Kestrava policy database."));
    parser.addHelpOption();
    const QCommandLineOption keep(QStringLiteral("keep-existing"),
                                  QStringLiteral("Succeed without change when the file exists."));
    parser.addOption(keep);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The database file to create."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    const QString path = parser.positionalArguments().constFirst();
    if (parser.isSet(keep) && QFileInfo::exists(path))
        return 0;
    try {
        kestrava::Database::createFactory(path);
    } catch (const kestrava::DatabaseError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.toMessage()));
        return 1;
    }
    return 0;
}
