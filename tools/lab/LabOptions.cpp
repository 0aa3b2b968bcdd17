#include "LabOptions.h"

#include <QCommandLineParser>

namespace {

QList<QCommandLineOption> options() {
    return {
        {QStringLiteral("computers"), QStringLiteral("How many lab computers, 1 to 50 (default 6)."),
         QStringLiteral("N")},
        {QStringLiteral("keep"), QStringLiteral("Keep the lab's database in DIR when the lab ends."),
         QStringLiteral("DIR")},
        {QStringLiteral("status-file"),
         QStringLiteral("Write each computer's state to FILE every second: \"pc-01 connected=yes internet=no "
                        "names=school.example programs=\"."),
         QStringLiteral("FILE")},
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Displays this help.")},
        {QStringLiteral("version"), QStringLiteral("Displays version information.")}};
}

QCommandLineParser& describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Builds a classroom of lab computers on this machine, each in namespaces of its own with the\n"
        "real kestrava-agent, and the real console over them, and removes it all when it ends. As root."));
    parser.addOptions(options());
    return parser;
}

} // namespace

LabOptions LabOptions::parse(const QStringList& arguments) {
    QCommandLineParser parser;
    describe(parser);
    LabOptions parsed;
    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        parsed.error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return parsed;
    }
    parsed.help = parser.isSet(QStringLiteral("help"));
    parsed.version = parser.isSet(QStringLiteral("version"));
    parsed.keep = parser.value(QStringLiteral("keep"));
    parsed.statusFile = parser.value(QStringLiteral("status-file"));
    if (parser.isSet(QStringLiteral("computers"))) {
        bool number = false;
        parsed.computers = parser.value(QStringLiteral("computers")).toInt(&number);
        if (!number || parsed.computers < 1 || parsed.computers > kMaxComputers)
            parsed.error = QStringLiteral("--computers takes a number from 1 to %1, not '%2'")
                               .arg(kMaxComputers)
                               .arg(parser.value(QStringLiteral("computers")));
    }
    return parsed;
}

QString LabOptions::helpText() {
    // Asked before the application object exists, the parser does not know the program's name.
    QCommandLineParser parser;
    return describe(parser).helpText().replace(QStringLiteral("<executable_name>"),
                                               QStringLiteral("kestrava-lab"));
}
