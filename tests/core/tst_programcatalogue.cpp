#include "TempDatabase.h"
#include "core/lists/ProgramCatalogue.h"
#include "protocol/Fields.h"

#include <QSqlQuery>
#include <QTest>

using namespace kestrava;

namespace {

QStringList storedPrograms(Database& db) {
    QStringList names;
    QSqlQuery query = db.exec(QStringLiteral("SELECT Program FROM Program_Table ORDER BY Program_ID"));
    while (query.next())
        names.append(query.value(0).toString());
    return names;
}

} // namespace

class TestProgramCatalogue : public QObject {
    Q_OBJECT
private slots:
    void validation_data();
    void validation();
    void duplicates_data();
    void duplicates();
};

void TestProgramCatalogue::validation_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("message");
    const QString invalid = QStringLiteral("Not a valid Program!");
    QTest::newRow("capitals kept") << QStringLiteral("CALC.EXE") << true << QString();
    QTest::newRow("single blank") << QStringLiteral(" ") << true << QString();
    QTest::newRow("blanks around kept") << QStringLiteral("  Notepad.exe ") << true << QString();
    QTest::newRow("apostrophe") << QStringLiteral("o'hare.exe") << false << invalid;
    QTest::newRow("30 characters") << QString(26, QLatin1Char('x')) + QStringLiteral(".exe") << true
                                   << QString();
    QTest::newRow("separator") << QStringLiteral("A") + QString(kFieldSeparator) + QStringLiteral("B.EXE")
                               << false
                               << invalid + QStringLiteral(" The character '%1' cannot be sent to the client "
                                                           "services.")
                                                .arg(QString(kFieldSeparator));
    QTest::newRow("no single byte") << QStringLiteral("программа.exe") << false
                                    << invalid +
                                           QStringLiteral(" The character 'п' cannot be sent to the client "
                                                          "services.");
}

void TestProgramCatalogue::validation() {
    QFETCH(QString, typed);
    QFETCH(bool, valid);
    QFETCH(QString, message);
    TempDatabase temp;
    ProgramCatalogue catalogue(temp.db());
    catalogue.load();
    const auto result = catalogue.add(typed);
    QCOMPARE(result.outcome, valid ? Catalogue::AddOutcome::Added : Catalogue::AddOutcome::Refused);
    QCOMPARE(result.message, message);
    // Stored exactly as typed, or not at all.
    QCOMPARE(storedPrograms(temp.db()), valid ? QStringList{typed} : QStringList{});
}

void TestProgramCatalogue::duplicates_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("again");
    QTest::addColumn<bool>("refused");
    QTest::newRow("same") << QStringLiteral("Calc.exe") << QStringLiteral("Calc.exe") << true;
    QTest::newRow("lower case") << QStringLiteral("CALC.EXE") << QStringLiteral("calc.exe") << true;
    QTest::newRow("blanks around") << QStringLiteral("calc.exe") << QStringLiteral("  Calc.Exe ") << true;
    QTest::newRow("stored with blanks") << QStringLiteral(" calc.exe ") << QStringLiteral("CALC.exe") << true;
    QTest::newRow("single blank then two") << QStringLiteral(" ") << QStringLiteral("  ") << true;
    QTest::newRow("different") << QStringLiteral("calc.exe") << QStringLiteral("calc2.exe") << false;
}

void TestProgramCatalogue::duplicates() {
    QFETCH(QString, first);
    QFETCH(QString, again);
    QFETCH(bool, refused);
    TempDatabase temp;
    ProgramCatalogue catalogue(temp.db());
    catalogue.load();
    QCOMPARE(catalogue.add(first).outcome, Catalogue::AddOutcome::Added);
    const auto result = catalogue.add(again);
    QCOMPARE(result.outcome, refused ? Catalogue::AddOutcome::AlreadyAdded : Catalogue::AddOutcome::Added);
    QCOMPARE(result.message, refused ? QStringLiteral("Program already added!") : QString());
    QCOMPARE(storedPrograms(temp.db()).size(), refused ? 1 : 2);
}

QTEST_GUILESS_MAIN(TestProgramCatalogue)
#include "tst_programcatalogue.moc"
