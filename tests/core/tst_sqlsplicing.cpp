// Every value reaches a statement as a bound value. This test reads the sources and fails on any text
// spliced into an SQL statement: '+' or .arg() next to a statement literal, a placeholder filled later,
// or '+=' onto a variable that holds a statement. Only fixed texts may be spliced: other literals, named
// constants (kName) and the few names below, which hold table or column names or fixed statement parts
// and are only ever set from literals.

#include <QDir>
#include <QDirIterator>
#include <QFile>
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

const QSet<QString> kFixedNames = {
    QStringLiteral("m_table"),    QStringLiteral("m_column"),     QStringLiteral("m_catalogue"),
    QStringLiteral("m_idColumn"), QStringLiteral("m_nameColumn"), QStringLiteral("m_link"),
    QStringLiteral("table"),      QStringLiteral("ownerColumn"),  QStringLiteral("owner"),
};

// Adjacent quoted strings, alone or in one of Qt's literal wrappers; group 1 or 2 holds the quotes.
const QString kQuoted = QStringLiteral(R"re((?:"(?:\\.|[^"\\])*"\s*)+)re");
const QRegularExpression kLiteral(
    QStringLiteral(
        R"re((?:(?:QStringLiteral|QLatin1StringView|QLatin1String|QString::fromLatin1|QString::fromUtf8)\s*\(\s*(%1)\)|(?<![\w"])u?(%1)))re")
        .arg(kQuoted));
const QRegularExpression kSqlWords(QStringLiteral(
    "\\b(SELECT|INSERT|UPDATE|DELETE|CREATE|DROP|ALTER|PRAGMA|VACUUM|ATTACH|REPLACE|WHERE|VALUES)\\b"));
// A name with member access and scope, and one call with arguments nested once at most.
const QString kOperand = QStringLiteral(R"re([\w:]+(?:(?:\.|->)\w+)*(?:\((?:[^()]|\([^()]*\))*\))?)re");

// The source with comments blanked out (line breaks kept), literals untouched.
QString withoutComments(const QString& text) {
    static const QRegularExpression pieces(
        QStringLiteral(R"re("(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*'|//[^\n]*|/\*[\s\S]*?\*/)re"));
    QString out = text;
    for (auto it = pieces.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        // Comments go; so does what is inside character literals, which might be a quote.
        const bool comment = m.captured().startsWith(QLatin1Char('/'));
        if (comment || m.captured().startsWith(QLatin1Char('\'')))
            for (qsizetype i = m.capturedStart() + (comment ? 0 : 1); i < m.capturedEnd() - (comment ? 0 : 1);
                 ++i)
                if (out[i] != QLatin1Char('\n'))
                    out[i] = QLatin1Char(' ');
    }
    return out;
}

// Literals, named constants, fixed names, and a choice between such.
bool isFixed(const QString& expression) {
    static const QRegularExpression constant(QStringLiteral("^(\\w+::)*k[A-Z]\\w*$"));
    const QString e = expression.trimmed();
    if (const auto m = kLiteral.match(e);
        m.hasMatch() && m.capturedStart() == 0 && m.capturedLength() == e.size())
        return true;
    if (kFixedNames.contains(e) || constant.match(e).hasMatch())
        return true;
    static const QRegularExpression choice(QStringLiteral(R"re(^[^?]+\?(.+?)(?<!:):(?!:)(.+)$)re"));
    const QRegularExpressionMatch m = choice.match(e);
    return m.hasMatch() && isFixed(m.captured(1)) && isFixed(m.captured(2));
}

// The arguments of the call whose opening parenthesis is at open, split at top-level commas.
QStringList argumentsAt(const QString& s, qsizetype open, qsizetype* end) {
    QStringList arguments;
    int depth = 0;
    qsizetype start = open + 1;
    for (qsizetype i = open; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == QLatin1Char('"')) {
            for (++i; i < s.size() && s[i] != QLatin1Char('"'); ++i)
                i += s[i] == QLatin1Char('\\') ? 1 : 0;
        } else if (c == QLatin1Char('(') || c == QLatin1Char('{')) {
            ++depth;
        } else if ((c == QLatin1Char(',') && depth == 1) ||
                   ((c == QLatin1Char(')') || c == QLatin1Char('}')) && --depth == 0)) {
            arguments << s.mid(start, i - start).trimmed();
            start = i + 1;
            if (depth == 0) {
                *end = i + 1;
                return arguments;
            }
        }
    }
    *end = s.size();
    return arguments;
}

// "line: what" for every splice into a statement in one source text.
QStringList findSplices(const QString& source) {
    const QString s = withoutComments(source);
    const auto lineOf = [&](qsizetype at) { return QStringView(s).left(at).count(QLatin1Char('\n')) + 1; };
    static const QRegularExpression before(
        QStringLiteral(R"re((%1|"(?:\\.|[^"\\])*")\s*(?<!\+)\+\s*$)re").arg(kOperand));
    static const QRegularExpression plus(
        QStringLiteral(R"re(\G\s*\+(?![+=])\s*(%1|%2))re").arg(kLiteral.pattern(), kOperand));
    static const QRegularExpression arg(QStringLiteral(R"re(\G\s*\.arg\()re"));
    static const QRegularExpression assigned(QStringLiteral(R"re((\w+)\s*=\s*$)re"));
    static const QRegularExpression placeholder(QStringLiteral("%[0-9]"));
    QStringList found;
    QSet<QString> statementVariables;
    for (auto it = kLiteral.globalMatch(s); it.hasNext();) {
        const QRegularExpressionMatch literal = it.next();
        const QString content = literal.captured(1) + literal.captured(2);
        if (!content.contains(kSqlWords))
            continue;
        const qsizetype line = lineOf(literal.capturedStart());
        const QString ahead = s.mid(std::max<qsizetype>(0, literal.capturedStart() - 200),
                                    std::min<qsizetype>(200, literal.capturedStart()));
        if (const auto m = before.match(ahead); m.hasMatch() && !isFixed(m.captured(1)))
            found << QStringLiteral("%1: '%2' + statement").arg(line).arg(m.captured(1));
        if (const auto m = assigned.match(ahead); m.hasMatch())
            statementVariables.insert(m.captured(1));
        bool filled = false;
        for (qsizetype at = literal.capturedEnd();;) {
            if (const auto m = arg.match(s, at); m.hasMatch()) {
                for (const QString& argument : argumentsAt(s, m.capturedEnd() - 1, &at))
                    if (!isFixed(argument))
                        found << QStringLiteral("%1: .arg(%2)").arg(line).arg(argument);
                filled = true;
            } else if (const auto m = plus.match(s, at); m.hasMatch()) {
                if (!isFixed(m.captured(1)))
                    found << QStringLiteral("%1: statement + '%2'").arg(line).arg(m.captured(1));
                at = m.capturedEnd();
            } else {
                break;
            }
        }
        if (!filled && content.contains(placeholder))
            found << QStringLiteral("%1: placeholder filled elsewhere").arg(line);
    }
    // Variables that hold a statement: what is added to them or filled into them later.
    for (const QString& variable : std::as_const(statementVariables)) {
        const QRegularExpression later(
            QStringLiteral(R"re(\b%1\s*(\+=|\.arg\(|\+(?![+=])))re").arg(variable));
        for (auto it = later.globalMatch(s); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            qsizetype end = 0;
            const QStringList operands =
                m.captured(1) == QLatin1String(".arg(")
                    ? argumentsAt(s, m.capturedEnd() - 1, &end)
                    : QStringList{
                          QRegularExpression(QStringLiteral("^\\s*(%1|%2)").arg(kLiteral.pattern(), kOperand))
                              .match(s.mid(m.capturedEnd(), 200))
                              .captured(1)};
            for (const QString& operand : operands)
                if (!isFixed(operand))
                    found << QStringLiteral("%1: %2 %3 '%4'")
                                 .arg(lineOf(m.capturedStart()))
                                 .arg(variable, m.captured(1), operand);
        }
    }
    return found;
}

QString sourceRoot() {
    // The folder of the tests' sources, given by the build: __FILE__ may be relative to wherever the
    // compiler ran, which is not where the test runs.
    return QDir(QStringLiteral(QT_TESTCASE_SOURCEDIR)).absoluteFilePath(QStringLiteral("../src"));
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
