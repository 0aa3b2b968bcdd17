// Every value reaches a statement as a bound value. This test reads the sources and fails on any text
// spliced into an SQL statement: '+' or .arg() next to a statement literal, a placeholder filled later,
// or '+=' onto a variable that holds a statement. Only fixed texts may be spliced: other literals, named
// constants (kName) and the few names below, which hold table or column names or fixed statement parts
// and are only ever set from literals.

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

class TestSqlSplicing : public QObject {
    Q_OBJECT
private slots:
    void scannerFindsSplicing_data();
    void scannerFindsSplicing();
    void sourcesBindEveryValue();
};

namespace {

const QSet<QString>& fixedNames() {
    static const QSet<QString> names = {
        QStringLiteral("m_table"),    QStringLiteral("m_column"),     QStringLiteral("m_catalogue"),
        QStringLiteral("m_idColumn"), QStringLiteral("m_nameColumn"), QStringLiteral("m_link"),
        QStringLiteral("table"),      QStringLiteral("ownerColumn"),  QStringLiteral("owner"),
    };
    return names;
}

const QRegularExpression& sqlWords() {
    static const QRegularExpression words(QStringLiteral(
        "\\b(SELECT|INSERT|UPDATE|DELETE|CREATE|DROP|ALTER|PRAGMA|VACUUM|ATTACH|REPLACE|WHERE|VALUES)\\b"));
    return words;
}

bool isIdentChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// The source with comments blanked out (line breaks kept), literals untouched.
QString withoutComments(const QString& text) {
    QString out = text;
    enum { Code, Line, Block, String, Char } state = Code;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out[i];
        const QChar next = i + 1 < out.size() ? out[i + 1] : QChar();
        switch (state) {
        case Code:
            if (c == QLatin1Char('/') && next == QLatin1Char('/'))
                state = Line;
            else if (c == QLatin1Char('/') && next == QLatin1Char('*'))
                state = Block;
            else if (c == QLatin1Char('"'))
                state = String;
            else if (c == QLatin1Char('\''))
                state = Char;
            if (state == Line || state == Block)
                out[i] = QLatin1Char(' ');
            break;
        case Line:
            if (c == QLatin1Char('\n'))
                state = Code;
            else
                out[i] = QLatin1Char(' ');
            break;
        case Block:
            if (c == QLatin1Char('*') && next == QLatin1Char('/')) {
                out[i] = out[i + 1] = QLatin1Char(' ');
                ++i;
                state = Code;
            } else if (c != QLatin1Char('\n')) {
                out[i] = QLatin1Char(' ');
            }
            break;
        case String:
        case Char:
            if (c == QLatin1Char('\\'))
                ++i;
            else if (c == QLatin1Char(state == String ? '"' : '\''))
                state = Code;
            break;
        }
    }
    return out;
}

struct Literal {
    qsizetype begin; // the wrapper's first character, or the first quote
    qsizetype end;   // one past the wrapper's closing parenthesis, or past the last quote
    QString content;
};

qsizetype skipSpaces(const QString& s, qsizetype i) {
    while (i < s.size() && s[i].isSpace())
        ++i;
    return i;
}

qsizetype skipSpacesBack(const QString& s, qsizetype i) {
    while (i >= 0 && s[i].isSpace())
        --i;
    return i;
}

// Adjacent quoted strings from i (at a quote); returns one past the last one.
qsizetype readQuoted(const QString& s, qsizetype i, QString& content) {
    while (i < s.size() && s[i] == QLatin1Char('"')) {
        qsizetype j = i + 1;
        while (j < s.size() && s[j] != QLatin1Char('"')) {
            if (s[j] == QLatin1Char('\\'))
                ++j;
            ++j;
        }
        content += s.mid(i + 1, j - i - 1);
        i = skipSpaces(s, j + 1);
        if (i >= s.size() || s[i] != QLatin1Char('"'))
            return j + 1;
    }
    return i;
}

const QStringList& wrappers() {
    static const QStringList names = {QStringLiteral("QStringLiteral"), QStringLiteral("QLatin1String"),
                                      QStringLiteral("QLatin1StringView"),
                                      QStringLiteral("QString::fromLatin1"),
                                      QStringLiteral("QString::fromUtf8")};
    return names;
}

// The literal that starts at i (a wrapper name or a quote), if any.
std::optional<Literal> literalAt(const QString& s, qsizetype i) {
    if (i >= s.size())
        return std::nullopt;
    if (s[i] == QLatin1Char('"')) {
        Literal literal{i, 0, {}};
        literal.end = readQuoted(s, i, literal.content);
        return literal;
    }
    if (s[i] == QLatin1Char('u') && i + 1 < s.size() && s[i + 1] == QLatin1Char('"')) {
        Literal literal{i, 0, {}};
        literal.end = readQuoted(s, i + 1, literal.content);
        return literal;
    }
    for (const QString& wrapper : wrappers()) {
        if (!QStringView(s).mid(i).startsWith(wrapper))
            continue;
        qsizetype j = skipSpaces(s, i + wrapper.size());
        if (j >= s.size() || s[j] != QLatin1Char('('))
            continue;
        j = skipSpaces(s, j + 1);
        if (j >= s.size() || s[j] != QLatin1Char('"'))
            continue;
        Literal literal{i, 0, {}};
        j = skipSpaces(s, readQuoted(s, j, literal.content));
        if (j < s.size() && s[j] == QLatin1Char(')')) {
            literal.end = j + 1;
            return literal;
        }
    }
    return std::nullopt;
}

// One past the parenthesis that closes the one at open.
qsizetype closingParen(const QString& s, qsizetype open) {
    int depth = 0;
    for (qsizetype i = open; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('"')) {
            QString ignored;
            i = readQuoted(s, i, ignored) - 1;
        } else if (s[i] == QLatin1Char('(')) {
            ++depth;
        } else if (s[i] == QLatin1Char(')') && --depth == 0) {
            return i + 1;
        }
    }
    return s.size();
}

QStringList topLevelArguments(const QString& s, qsizetype open, qsizetype close) {
    QStringList arguments;
    int depth = 0;
    qsizetype start = open + 1;
    for (qsizetype i = open + 1; i < close - 1; ++i) {
        if (s[i] == QLatin1Char('"')) {
            QString ignored;
            i = readQuoted(s, i, ignored) - 1;
        } else if (s[i] == QLatin1Char('(') || s[i] == QLatin1Char('{')) {
            ++depth;
        } else if (s[i] == QLatin1Char(')') || s[i] == QLatin1Char('}')) {
            --depth;
        } else if (s[i] == QLatin1Char(',') && depth == 0) {
            arguments << s.mid(start, i - start).trimmed();
            start = i + 1;
        }
    }
    arguments << s.mid(start, close - 1 - start).trimmed();
    return arguments;
}

bool isFixedName(const QString& name) {
    static const QRegularExpression constant(QStringLiteral("^(\\w+::)*k[A-Z]\\w*$"));
    return fixedNames().contains(name) || constant.match(name).hasMatch();
}

// An expression that can only be a fixed text: literals, named constants, fixed names, and a choice
// between such.
bool isFixedExpression(const QString& expression) {
    const QString e = expression.trimmed();
    if (e.isEmpty())
        return false;
    if (const auto literal = literalAt(e, 0); literal && skipSpaces(e, literal->end) == e.size())
        return true;
    if (isFixedName(e))
        return true;
    const qsizetype question = e.indexOf(QLatin1Char('?'));
    const qsizetype colon = e.lastIndexOf(QLatin1Char(':'));
    if (question > 0 && colon > question && e.at(colon - 1) != QLatin1Char(':') &&
        (colon + 1 >= e.size() || e.at(colon + 1) != QLatin1Char(':')))
        return isFixedExpression(e.mid(question + 1, colon - question - 1)) &&
               isFixedExpression(e.mid(colon + 1));
    return false;
}

// The operand that starts at i: a literal, or a name with member access, scope and call parentheses.
QString operandAt(const QString& s, qsizetype i, qsizetype& end) {
    if (const auto literal = literalAt(s, i)) {
        end = literal->end;
        return s.mid(i, end - i);
    }
    qsizetype j = i;
    while (j < s.size()) {
        if (isIdentChar(s[j]) || s[j] == QLatin1Char('.') || s[j] == QLatin1Char(':') ||
            (s[j] == QLatin1Char('-') && j + 1 < s.size() && s[j + 1] == QLatin1Char('>')))
            j += s[j] == QLatin1Char('-') ? 2 : 1;
        else if (s[j] == QLatin1Char('('))
            j = closingParen(s, j);
        else
            break;
    }
    end = j;
    return s.mid(i, j - i);
}

// The operand that ends at i (inclusive).
QString operandBefore(const QString& s, qsizetype i) {
    qsizetype j = i;
    if (j >= 0 && s[j] == QLatin1Char(')')) {
        int depth = 0;
        for (; j >= 0; --j) {
            if (s[j] == QLatin1Char(')'))
                ++depth;
            else if (s[j] == QLatin1Char('(') && --depth == 0)
                break;
        }
        --j;
    }
    while (j >= 0 && (isIdentChar(s[j]) || s[j] == QLatin1Char('.') || s[j] == QLatin1Char(':') ||
                      s[j] == QLatin1Char('"') || s[j] == QLatin1Char('>')))
        --j;
    return s.mid(j + 1, i - j).trimmed();
}

int lineOf(const QString& s, qsizetype at) {
    return static_cast<int>(QStringView(s).left(at).count(QLatin1Char('\n'))) + 1;
}

// "line: what" for every splice into a statement in one source text.
QStringList findSplices(const QString& source) {
    const QString s = withoutComments(source);
    QStringList found;
    QSet<QString> statementVariables;
    static const QRegularExpression assigned(QStringLiteral("(\\w+)\\s*=\\s*$"));
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (i > 0 && isIdentChar(s[i - 1]))
            continue;
        const auto literal = literalAt(s, i);
        if (!literal)
            continue;
        const qsizetype next = literal->end;
        if (!literal->content.contains(sqlWords())) {
            i = next - 1;
            continue;
        }
        const int line = lineOf(s, i);
        // Spliced in front.
        const qsizetype before = skipSpacesBack(s, i - 1);
        if (before >= 1 && s[before] == QLatin1Char('+') && s[before - 1] != QLatin1Char('+')) {
            const QString operand = operandBefore(s, skipSpacesBack(s, before - 1));
            if (!isFixedExpression(operand))
                found << QStringLiteral("%1: '%2' + statement").arg(line).arg(operand);
        }
        if (const auto match = assigned.match(s.left(i)); match.hasMatch())
            statementVariables.insert(match.captured(1));
        // Spliced behind, possibly in a chain.
        bool filled = false;
        qsizetype at = skipSpaces(s, next);
        while (at < s.size()) {
            if (QStringView(s).mid(at).startsWith(QLatin1String(".arg("))) {
                const qsizetype open = at + 4;
                const qsizetype close = closingParen(s, open);
                for (const QString& argument : topLevelArguments(s, open, close)) {
                    if (!isFixedExpression(argument))
                        found << QStringLiteral("%1: .arg(%2)").arg(line).arg(argument);
                }
                filled = true;
                at = skipSpaces(s, close);
            } else if (s[at] == QLatin1Char('+') && at + 1 < s.size() && s[at + 1] != QLatin1Char('+') &&
                       s[at + 1] != QLatin1Char('=')) {
                qsizetype end = 0;
                const QString operand = operandAt(s, skipSpaces(s, at + 1), end);
                if (!isFixedExpression(operand))
                    found << QStringLiteral("%1: statement + '%2'").arg(line).arg(operand);
                at = skipSpaces(s, end);
            } else {
                break;
            }
        }
        static const QRegularExpression placeholder(QStringLiteral("%[0-9]"));
        if (!filled && literal->content.contains(placeholder))
            found << QStringLiteral("%1: placeholder filled elsewhere").arg(line);
        i = next - 1;
    }
    // Variables that hold a statement: what is added to them or filled into them later.
    for (const QString& variable : std::as_const(statementVariables)) {
        const QRegularExpression later(QStringLiteral("\\b%1\\s*(\\+=|\\.arg\\(|\\+(?![+=]))").arg(variable));
        for (auto it = later.globalMatch(s); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            qsizetype end = 0;
            const qsizetype from = match.capturedEnd(0);
            if (match.captured(1) == QLatin1String(".arg(")) {
                const qsizetype close = closingParen(s, from - 1);
                for (const QString& argument : topLevelArguments(s, from - 1, close))
                    if (!isFixedExpression(argument))
                        found
                            << QStringLiteral("%1: %2.arg(%3)").arg(lineOf(s, from)).arg(variable, argument);
                continue;
            }
            const QString operand = operandAt(s, skipSpaces(s, from), end);
            if (!isFixedExpression(operand))
                found << QStringLiteral("%1: %2 %3 '%4'")
                             .arg(lineOf(s, from))
                             .arg(variable, match.captured(1), operand);
        }
    }
    return found;
}

QString sourceRoot() {
    // tests/core/ -> the repository
    return QFileInfo(QStringLiteral(__FILE__)).absoluteDir().absoluteFilePath(QStringLiteral("../../src"));
}

} // namespace

void TestSqlSplicing::scannerFindsSplicing_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("splices");
    auto row = [](const char* name, const char* code, int splices) {
        QTest::newRow(name) << QString::fromLatin1(code) << splices;
    };
    row("bound value", R"x(db.exec(QStringLiteral("SELECT a FROM T WHERE k=?"), {key});)x", 0);
    row("quoted value",
        R"x(db.exec(QStringLiteral("SELECT a FROM T WHERE k='") + key + QStringLiteral("'"));)x", 1);
    row("number in front", R"x(x = QString::number(id) + QStringLiteral(" WHERE k=1");)x", 1);
    row("arg with value", R"x(db.exec(QStringLiteral("DELETE FROM T WHERE k=%1").arg(key));)x", 1);
    row("arg with number",
        R"x(db.exec(QStringLiteral("DELETE FROM T WHERE k=%1").arg(QString::number(n)));)x", 1);
    row("arg with table name", R"x(db.exec(QStringLiteral("DELETE FROM %1 WHERE k=?").arg(m_table), {k});)x",
        0);
    row("arg with constant", R"x(db.exec(QStringLiteral("PRAGMA user_version=%1").arg(kVersion));)x", 0);
    row("arg with a choice of literals",
        R"x(QStringLiteral("SELECT a FROM T WHERE b %1 (1)").arg(on ? QStringLiteral("IN") : QStringLiteral("NOT IN"));)x",
        0);
    row("arg with a choice of values",
        R"x(QStringLiteral("SELECT a FROM T WHERE b=%1").arg(on ? name : QStringLiteral("x"));)x", 1);
    row("fixed fragment", R"x(QStringLiteral("SELECT a FROM T WHERE b=(") + owner + QStringLiteral(")"))x",
        0);
    row("placeholder filled later",
        "const QString sql = QStringLiteral(\"SELECT a FROM T WHERE b=%1\");\n"
        "db.exec(sql.arg(name));",
        2);
    row("statement grown later", "QString sql = QStringLiteral(\"SELECT a FROM T WHERE b='\");\nsql += name;",
        1);
    row("comment mentions it", "// QStringLiteral(\"SELECT a FROM T WHERE b='\") + name\n", 0);
    row("not a statement",
        R"x(text = QStringLiteral("Are you sure you want to delete '") + alias + QStringLiteral("'?");)x", 0);
    row("plain quotes", R"x(sql = "UPDATE T SET a='" + value + "'";)x", 1);
}

void TestSqlSplicing::scannerFindsSplicing() {
    QFETCH(QString, code);
    QFETCH(int, splices);
    const QStringList found = findSplices(code);
    QVERIFY2(found.size() == splices, qPrintable(found.join(QLatin1Char('\n'))));
}

void TestSqlSplicing::sourcesBindEveryValue() {
    QStringList found;
    int files = 0;
    QDirIterator it(sourceRoot(), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        ++files;
        for (const QString& splice : findSplices(QString::fromUtf8(file.readAll())))
            found << QDir(sourceRoot()).relativeFilePath(path) + QLatin1Char(':') + splice;
    }
    QVERIFY2(files > 50, qPrintable(sourceRoot()));
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestSqlSplicing)
#include "tst_sqlsplicing.moc"
