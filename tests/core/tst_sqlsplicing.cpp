// Every value reaches a statement as a bound value. This test reads the sources under src/ and fails on
// anything but fixed text put into a statement's text: by .arg(), by '+', or by a placeholder filled in
// another statement. Fixed are literals, named constants (kName) and the names below, which hold table
// or column names or fixed statement parts and are only ever set from literals.

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSqlSplicing : public QObject {
    Q_OBJECT
private slots:
    void scannerFindsSplicing_data();
    void scannerFindsSplicing();
    void sourcesBindEveryValue();
};

namespace {

const QRegularExpression
    kFixed(QString::fromLatin1(R"re(^(""|(\w+::)*k[A-Z]\w*|m_table|m_column|m_catalogue)re"
                               R"re(|m_idColumn|m_nameColumn|m_link|table|ownerColumn|owner)$)re"));
const QRegularExpression kSql(QString::fromLatin1(
    R"re(\b(SELECT|INSERT|UPDATE|DELETE|CREATE|DROP|ALTER|PRAGMA|VACUUM|REPLACE|WHERE|VALUES)\b)re"));
// The arguments of an .arg() call, or what is joined to a literal by '+'.
const QRegularExpression kSpliced(QString::fromLatin1(R"re(\.arg\(((?:[^()]|\([^()]*\))*)\))re"
                                                      R"re(|""\s*\+\s*([\w:.>-]+(?:\([^()]*\))?))re"
                                                      R"re(|([\w:.>-]+(?:\([^()]*\))?)\s*\+\s*"")re"));
const QRegularExpression kComma(QString::fromLatin1(R"re(,(?![^()]*\)))re"));

bool isFixed(const QString& expression) {
    static const QRegularExpression choice(QString::fromLatin1(R"re(^[^?]+\?\s*(\S+)\s*:\s*(\S+)$)re"));
    const QRegularExpressionMatch m = choice.match(expression.trimmed());
    return kFixed.match(expression.trimmed()).hasMatch() ||
           (m.hasMatch() && isFixed(m.captured(1)) && isFixed(m.captured(2)));
}

// The statement with every string literal made "" (and character literal ''), comments dropped and
// literal wrappers taken off: what is left besides "" is code.
QString reduced(const QString& statement) {
    static const QRegularExpression literal(QString::fromLatin1(R"re((["'])(?:\\.|(?!\1)[^\\\n])*\1)re"));
    static const QRegularExpression comment(QString::fromLatin1(R"re(//[^\n]*|/\*[\s\S]*?\*/)re"));
    static const QRegularExpression wrapped(QString::fromLatin1(R"re(\w+\s*\(\s*""\s*\)|u"")re"));
    return QString(statement)
        .replace(literal, u"\\1\\1"_s)
        .replace(comment, QString())
        .replace(wrapped, u"\"\""_s);
}

// What is spliced into the statements of one source text.
QStringList splices(const QString& source) {
    static const QRegularExpression assigned(QString::fromLatin1(R"re((\w+)\s*=\s*"")re"));
    static const QRegularExpression placeholder(QString::fromLatin1(R"re(%[0-9])re"));
    QStringList found;
    QStringList statementVariables;
    for (const QString& statement : source.split(u';')) {
        const QString code = reduced(statement);
        // What is added to a variable that holds a statement.
        for (const QString& variable : std::as_const(statementVariables)) {
            const QRegularExpression grown(QStringLiteral("\\b%1\\s*\\+=([^;]*)").arg(variable));
            if (const auto m = grown.match(code); m.hasMatch() && !isFixed(m.captured(1)))
                found << m.captured();
        }
        if (!statement.contains(kSql) || !code.contains(QLatin1String("\"\"")))
            continue;
        if (const auto m = assigned.match(code); m.hasMatch())
            statementVariables << m.captured(1);
        if (statement.contains(placeholder) && !code.contains(QLatin1String(".arg(")))
            found << code.trimmed();
        for (auto it = kSpliced.globalMatch(code); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            for (const QString& part : (m.captured(1) + m.captured(2) + m.captured(3)).split(kComma))
                if (!isFixed(part))
                    found << part.trimmed();
        }
    }
    return found;
}

} // namespace

void TestSqlSplicing::scannerFindsSplicing_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("splices");
    QTest::newRow("bound") << R"(db.exec(QStringLiteral("SELECT a FROM T WHERE k=?"), {k + 1});)" << 0;
    QTest::newRow("fixed parts")
        << R"(db.exec(QStringLiteral("DELETE FROM %1 WHERE %2=?").arg(m_table, on ? kA : kB), {k});)" << 0;
    QTest::newRow("value by .arg()")
        << R"(db.exec(QStringLiteral("DELETE FROM T WHERE k=%1").arg(QString::number(n)));)" << 1;
    QTest::newRow("value by +") << R"(sql = "UPDATE T SET a='" + value + QStringLiteral("'");)" << 1;
    QTest::newRow("filled elsewhere")
        << "const QString sql = QStringLiteral(\"SELECT a FROM T WHERE b=%1\");\n"
        << 1;
    QTest::newRow("grown later")
        << "QString sql = QStringLiteral(\"SELECT a FROM T WHERE b='\");\nsql += name;" << 1;
    QTest::newRow("in a comment") << "// QStringLiteral(\"SELECT a FROM T WHERE b='\") + name\nx = 1;" << 0;
}

void TestSqlSplicing::scannerFindsSplicing() {
    QFETCH(QString, code);
    QFETCH(int, splices);
    const QStringList found = ::splices(code);
    QVERIFY2(found.size() == splices, qPrintable(found.join(QLatin1Char('\n'))));
}

void TestSqlSplicing::sourcesBindEveryValue() {
    QStringList found;
    int files = 0;
    const QString root = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../src");
    for (QDirIterator it(root, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext(); ++files) {
        QFile file(it.next());
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        for (const QString& splice : splices(QString::fromUtf8(file.readAll())))
            found << file.fileName() + QStringLiteral(": ") + splice;
    }
    QVERIFY2(files > 50, qPrintable(root));
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestSqlSplicing)
#include "tst_sqlsplicing.moc"
