#include "core/platform/XdgAutoStart.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace kestrava {

namespace {

const QString kEntryName = QStringLiteral("kestrava.desktop");

bool needsQuotes(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    for (const QChar c : argument)
        if (reserved.contains(c))
            return true;
    return argument.isEmpty();
}

// The desktop entry's escapes of a string value: \s \n \t \r \\.
QString unescapeValue(const QString& value) {
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) != QLatin1Char('\\') || i + 1 == value.size()) {
            text += value.at(i);
            continue;
        }
        const QChar next = value.at(++i);
        if (next == QLatin1Char('s'))
            text += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            text += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            text += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            text += QLatin1Char('\r');
        else
            text += next;
    }
    return text;
}

QString escapeValue(const QString& text) {
    QString value;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

struct EntryValues {
    QString exec;
    bool hidden = false;
};

EntryValues readEntry(const QString& file) {
    EntryValues values;
    QFile entry(file);
    if (!entry.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    QTextStream in(&entry);
    bool inMainGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line.trimmed() == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inMainGroup || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Exec"))
            values.exec = unescapeValue(value);
        else if (key == QLatin1String("Hidden"))
            values.hidden = value == QLatin1String("true");
    }
    return values;
}

} // namespace

XdgAutoStart::XdgAutoStart(QString directory, QString programPath)
    : m_directory(std::move(directory))
    , m_programPath(std::move(programPath)) {}

QString XdgAutoStart::defaultDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString XdgAutoStart::entryFile() const {
    return QDir(m_directory).filePath(kEntryName);
}

bool XdgAutoStart::isSet() const {
    const EntryValues entry = readEntry(entryFile());
    if (entry.hidden || entry.exec.isEmpty())
        return false;
    return programOfExec(entry.exec).toLower() == m_programPath.toLower();
}

bool XdgAutoStart::set() {
    if (!QDir().mkpath(m_directory))
        return false;
    QSaveFile file(entryFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    const QString content = QStringLiteral("[Desktop Entry]\nType=Application\nName=Kestrava\n"
                                           "Comment=Kestrava console\nExec=") +
                            escapeValue(execFor(m_programPath)) + QStringLiteral("\nTerminal=false\n");
    file.write(content.toUtf8());
    return file.commit();
}

bool XdgAutoStart::unset() {
    return QFile::remove(entryFile());
}

QString XdgAutoStart::execFor(const QString& programPath) {
    QString program = programPath;
    program.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (!needsQuotes(program))
        return program;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QString XdgAutoStart::programOfExec(const QString& exec) {
    QString program;
    qsizetype i = 0;
    if (exec.startsWith(QLatin1Char('"'))) {
        for (i = 1; i < exec.size() && exec.at(i) != QLatin1Char('"'); ++i) {
            if (exec.at(i) == QLatin1Char('\\') && i + 1 < exec.size())
                ++i;
            program += exec.at(i);
        }
    } else {
        for (; i < exec.size() && !exec.at(i).isSpace(); ++i)
            program += exec.at(i);
    }
    return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

} // namespace kestrava
