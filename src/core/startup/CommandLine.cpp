#include "core/startup/CommandLine.h"

namespace kestrava {

QString Make_Command_Line(const QStringList& arguments) {
    return Cut_Command_Line(arguments.join(QLatin1Char(' ')));
}

QString Cut_Command_Line(const QString& text) {
    if (text.size() <= kMaxCommandLineLength)
        return text;
    qsizetype length = kMaxCommandLineLength;
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

bool Is_Command_Line_Query(const QStringList& arguments) {
    if (arguments.isEmpty() || arguments.constFirst().startsWith(QLatin1String("-v")))
        return false;
    for (const QString& argument : arguments)
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h") ||
            argument == QLatin1String("-?") || argument == QLatin1String("--help-all") ||
            argument == QLatin1String("--version"))
            return true;
    return false;
}

} // namespace kestrava
