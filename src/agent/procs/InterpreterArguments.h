#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kestrava::agent {

// Which file an interpreter runs, from its command line: the first argument that is not an option
// (or that -jar names, for java). Code given with -c, -e and the like, or read from standard input,
// names no file. The dynamic loader counts as an interpreter of the program it loads.
class InterpreterArguments {
public:
    // True for the executables (by basename) whose first file argument is the program run.
    static bool isInterpreter(const QString& executableName);
    static bool isLoader(const QString& executableName);

    // Index in arguments (arguments[0] being argv[0]) of the file the interpreter runs; none when
    // executableName is no interpreter or runs no named file.
    static std::optional<qsizetype> programIndex(const QString& executableName, const QStringList& arguments);
};

} // namespace kestrava::agent
