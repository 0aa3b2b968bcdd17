#include "core/startup/CommandLine.h"

#include <QTest>

using namespace kestrava;

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void joinedBySingleBlanks_data();
    void joinedBySingleBlanks();
    void longLineIsCut_data();
    void longLineIsCut();
    void queries_data();
    void queries();
};

void TestCommandLine::joinedBySingleBlanks_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("line");
    QTest::newRow("none") << QStringList() << QString();
    QTest::newRow("call-up") << QStringList{QStringLiteral("-v"), QStringLiteral("Chief")}
                             << QStringLiteral("-v Chief");
    QTest::newRow("blank inside an argument")
        << QStringList{QStringLiteral("-v"), QStringLiteral("my pass")} << QStringLiteral("-v my pass");
    QTest::newRow("empty argument") << QStringList{QStringLiteral("-v"), QString()} << QStringLiteral("-v ");
}

void TestCommandLine::joinedBySingleBlanks() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, line);
    QCOMPARE(Make_Command_Line(arguments), line);
}

void TestCommandLine::longLineIsCut_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("cut");
    const QString a254(254, QLatin1Char('a'));
    QTest::newRow("254 kept") << a254 << a254;
    QTest::newRow("255 cut") << a254 + QLatin1Char('b') << a254;
    QTest::newRow("1000 cut") << QString(1000, QLatin1Char('c')) << QString(254, QLatin1Char('c'));
    // U+1F511 takes two UTF-16 units; its first half would be the 254th.
    const QString key = QString::fromUtf8("\xF0\x9F\x94\x91");
    QTest::newRow("pair not split") << QString(253, QLatin1Char('a')) + key << QString(253, QLatin1Char('a'));
    QTest::newRow("pair kept whole") << QString(252, QLatin1Char('a')) + key + QLatin1Char('z')
                                     << QString(252, QLatin1Char('a')) + key;
}

void TestCommandLine::longLineIsCut() {
    QFETCH(QString, line);
    QFETCH(QString, cut);
    QCOMPARE(Make_Command_Line({line}), cut);
    QVERIFY(Make_Command_Line({line}).size() <= kMaxCommandLineLength);
}

void TestCommandLine::queries_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("query");
    QTest::newRow("nothing") << QStringList() << false;
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << true;
    QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << true;
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << true;
    QTest::newRow("call-up") << QStringList{QStringLiteral("-v"), QStringLiteral("Chief")} << false;
    QTest::newRow("password that looks like help")
        << QStringList{QStringLiteral("-v"), QStringLiteral("--help")} << false;
    QTest::newRow("call-up without blank") << QStringList{QStringLiteral("-vx--version")} << false;
    QTest::newRow("other text") << QStringList{QStringLiteral("hello")} << false;
}

void TestCommandLine::queries() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, query);
    QCOMPARE(Is_Command_Line_Query(arguments), query);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
