#include "agent/procs/InterpreterArguments.h"

#include <QSet>

namespace kestrava::agent {

namespace {

enum class Kind { None, Python, Perl, Ruby, Node, Shell, Java, Loader };

// "python", "python3", "python3.11", but not "pythonic".
bool isVersioned(const QString& name, QStringView base) {
    if (!name.startsWith(base))
        return false;
    for (const QChar c : QStringView(name).mid(base.size())) {
        if (!c.isDigit() && c != u'.')
            return false;
    }
    return true;
}

Kind kindOf(const QString& name) {
    using namespace Qt::StringLiterals;
    if (isVersioned(name, u"python"))
        return Kind::Python;
    if (isVersioned(name, u"perl"))
        return Kind::Perl;
    if (isVersioned(name, u"ruby"))
        return Kind::Ruby;
    if (name == u"node"_s || name == u"nodejs"_s)
        return Kind::Node;
    if (name == u"sh"_s || name == u"bash"_s || name == u"dash"_s || name == u"zsh"_s)
        return Kind::Shell;
    if (name == u"java"_s)
        return Kind::Java;
    if (name.startsWith(u"ld-linux"_s) && name.contains(u".so"_s))
        return Kind::Loader;
    return Kind::None;
}

// How one interpreter reads a cluster of short options such as "-uW ignore".
struct ShortOptions {
    QString code;     // letters whose program is the command line or standard input: no file
    QString value;    // letters taking a value, attached or as the next argument
    QString attached; // letters taking the rest of the cluster, possibly empty, as their value
};

ShortOptions shortOptions(Kind kind) {
    using namespace Qt::StringLiterals;
    switch (kind) {
    case Kind::Python:
        return {u"cm"_s, u"WX"_s, {}};
    case Kind::Perl:
        return {u"eE"_s, u"I"_s, u"Mmxil0dDCV"_s};
    case Kind::Ruby:
        return {u"e"_s, u"IrCE"_s, u"x0KTWFi"_s};
    case Kind::Node:
        return {u"ep"_s, u"rC"_s, {}};
    case Kind::Shell:
        return {u"cs"_s, u"oO"_s, {}};
    default:
        return {};
    }
}

// Long options taking the next argument as their value unless written --name=value.
QSet<QString> longOptionsWithValue(Kind kind) {
    using namespace Qt::StringLiterals;
    switch (kind) {
    case Kind::Python:
        return {u"--check-hash-based-pycs"_s};
    case Kind::Node:
        return {u"--require"_s,    u"--import"_s, u"--loader"_s,     u"--experimental-loader"_s,
                u"--input-type"_s, u"--title"_s,  u"--conditions"_s, u"--env-file"_s};
    case Kind::Shell:
        return {u"--rcfile"_s, u"--init-file"_s};
    case Kind::Loader:
        return {u"--library-path"_s,     u"--inhibit-rpath"_s, u"--audit"_s,
                u"--preload"_s,          u"--argv0"_s,         u"--glibc-hwcaps-prepend"_s,
                u"--glibc-hwcaps-mask"_s};
    default:
        return {};
    }
}

// Long options whose program is not a file: code or standard input, or nothing run at all.
QSet<QString> longOptionsWithoutFile(Kind kind) {
    using namespace Qt::StringLiterals;
    switch (kind) {
    case Kind::Node:
        return {u"--eval"_s, u"--print"_s, u"--interactive"_s};
    case Kind::Loader:
        return {u"--list"_s, u"--verify"_s, u"--help"_s, u"--version"_s};
    default:
        return {u"--help"_s, u"--version"_s};
    }
}

std::optional<qsizetype> javaJar(const QStringList& arguments) {
    using namespace Qt::StringLiterals;
    static const QSet<QString> withValue{
        u"-cp"_s,           u"-classpath"_s,    u"--class-path"_s,          u"-p"_s,
        u"--module-path"_s, u"--add-modules"_s, u"--upgrade-module-path"_s, u"--limit-modules"_s};
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QString& argument = arguments.at(index);
        if (argument == u"-jar"_s)
            return index + 1 < arguments.size() ? std::optional(index + 1) : std::nullopt;
        if (withValue.contains(argument))
            ++index;
        else if (!argument.startsWith(u'-') || argument == u"-m"_s || argument == u"--module"_s)
            return std::nullopt; // a main class or a module: not a file
    }
    return std::nullopt;
}

} // namespace

bool InterpreterArguments::isInterpreter(const QString& executableName) {
    return kindOf(executableName) != Kind::None;
}

bool InterpreterArguments::isLoader(const QString& executableName) {
    return kindOf(executableName) == Kind::Loader;
}

std::optional<qsizetype> InterpreterArguments::programIndex(const QString& executableName,
                                                            const QStringList& arguments) {
    const Kind kind = kindOf(executableName);
    if (kind == Kind::None)
        return std::nullopt;
    if (kind == Kind::Java)
        return javaJar(arguments);
    const ShortOptions shorts = shortOptions(kind);
    const QSet<QString> longWithValue = longOptionsWithValue(kind);
    const QSet<QString> longWithoutFile = longOptionsWithoutFile(kind);
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QString& argument = arguments.at(index);
        if (argument == QLatin1String("--"))
            return index + 1 < arguments.size() ? std::optional(index + 1) : std::nullopt;
        // A lone "-" is standard input.
        if (argument == QLatin1String("-"))
            return std::nullopt;
        const bool shellPlus = kind == Kind::Shell && argument.startsWith(u'+') && argument.size() > 1;
        if (!argument.startsWith(u'-') && !shellPlus)
            return index;
        if (argument.startsWith(QLatin1String("--"))) {
            const QString name = argument.section(u'=', 0, 0);
            if (longWithoutFile.contains(name))
                return std::nullopt;
            if (longWithValue.contains(name) && !argument.contains(u'='))
                ++index;
            continue;
        }
        for (qsizetype letter = 1; letter < argument.size(); ++letter) {
            const QChar option = argument.at(letter);
            if (!shellPlus && shorts.code.contains(option))
                return std::nullopt;
            if (shorts.value.contains(option)) {
                if (letter + 1 == argument.size())
                    ++index;
                break;
            }
            if (shorts.attached.contains(option))
                break;
        }
    }
    return std::nullopt;
}

} // namespace kestrava::agent
