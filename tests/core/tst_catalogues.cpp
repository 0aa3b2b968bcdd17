#include "TempDatabase.h"
#include "core/lists/ProgramCatalogue.h"
#include "core/lists/UrlCatalogue.h"
#include "core/store/DatabaseError.h"
#include "protocol/Fields.h"

#include <QTest>
#include <memory>

using namespace kestrava;
using namespace Qt::StringLiterals;

class TestCatalogues : public QObject {
    Q_OBJECT
private slots:
    void edit_data();
    void edit();
};

namespace {

void row(const char* name, bool url, const QString& entries, const QString& log, const QString& stored) {
    QTest::newRow(name) << url << entries << log << stored;
}

QString unsendable(const QString& refusal, const QString& character) {
    return refusal + u" The character '%1' cannot be sent to the client services."_s.arg(character);
}

} // namespace

// The entries typed one after another ('|' between them; "-rows" deletes those rows, SQL runs), what each
// addition answers, and what the database holds after them; after a deletion the root's lists go out on
// closing.
void TestCatalogues::edit_data() {
    QTest::addColumn<bool>("url");
    QTest::addColumn<QString>("entries");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("stored");
    const QString invalid = u"Invalid URL!"_s;
    const QString http =
        u"Invalid URL! Please enter your URL without 'http://' as this part of the address is not needed."_s;
    const QString sep(kFieldSeparator), x46(46, u'a'), x26(26, u'x');
    row("URL: http in mixed case after blanks", true, u"  HtTp://a.b"_s, http, {});
    row("URL: https", true, u"HTTPS://Secure.org"_s, u"added"_s, u"https://secure.org"_s);
    row("URL: 2 characters after trimming", true, u" ab "_s, invalid, {});
    row("URL: 3 characters", true, u"a.b"_s, u"added"_s, u"a.b"_s);
    row("URL: inner blank", true, u"exa mple.com"_s, invalid, {});
    row("URL: apostrophe", true, u"o'neil.com"_s, invalid, {});
    row("URL: two dots", true, u"example..com"_s, invalid, {});
    row("URL: 50 characters", true, x46 + u".com"_s, u"added"_s, x46 + u".com"_s);
    // Lower case turns the separator into a letter that travels as a letter.
    row("URL: separator lowered", true, u"ab"_s + sep + u"cd.com"_s, u"added"_s, u"ab\u00e7cd.com"_s);
    row("URL: no single byte", true, u"例え.jp"_s, unsendable(invalid, u"例"_s), {});
    row("URL: NUL", true, QChar(0) + u"x.com"_s, unsendable(invalid, u"U+0000"_s), {});
    row("URL: duplicates in any case", true, u"News.Example.org| nEwS.example.Org  |NEWS.EXAMPLE.ORG"_s,
        u"added|URL already added!|URL already added!"_s, u"news.example.org"_s);
    row("URL: deleting refused in the middle", true,
        u"a.com|b.com|c.com|CREATE TRIGGER refuse BEFORE DELETE ON DNS_Lookup_Table WHEN OLD.URL = 'b.com' "
        u"BEGIN "
        "SELECT RAISE(ABORT, 'full'); END|-0,1,2"_s,
        u"added|added|added|error|unchanged"_s, u"a.com|b.com|c.com"_s);
    row("URL: nothing typed", true, QString(), u"empty"_s, {});
    row("URL: deleting", true, u"a.com|b.com|c.com|d.com|e.com|-1,4,3,1"_s,
        u"added|added|added|added|added|changed"_s, u"a.com|c.com"_s);

    const QString notProgram = u"Not a valid Program!"_s;
    row("program: capitals and blanks kept", false, u"CALC.EXE|  Notepad.exe | "_s, u"added|added|added"_s,
        u"CALC.EXE|  Notepad.exe | "_s);
    row("program: apostrophe", false, u"o'hare.exe"_s, notProgram, {});
    row("program: 30 characters", false, x26 + u".exe"_s, u"added"_s, x26 + u".exe"_s);
    row("program: separator", false, u"A"_s + sep + u"B.EXE"_s, unsendable(notProgram, sep), {});
    row("program: no single byte", false, u"программа.exe"_s, unsendable(notProgram, u"п"_s), {});
    row("program: duplicates in any case and blanks", false,
        u" calc.exe |CALC.exe|  Calc.Exe |calc2.exe| |  "_s,
        u"added|Program already added!|Program already added!|added|added|Program already added!"_s,
        u" calc.exe |calc2.exe| "_s);
}

void TestCatalogues::edit() {
    QFETCH(bool, url);
    QFETCH(QString, entries);
    QFETCH(QString, log);
    QFETCH(QString, stored);
    TempDatabase temp;
    const auto open = [&]() -> std::unique_ptr<Catalogue> {
        std::unique_ptr<Catalogue> opened;
        if (url)
            opened = std::make_unique<UrlCatalogue>(temp.db());
        else
            opened = std::make_unique<ProgramCatalogue>(temp.db());
        opened->load();
        return opened;
    };
    const std::unique_ptr<Catalogue> catalogue = open();
    QStringList said;
    for (const QString& entry : entries.split(u'|')) {
        if (entry.startsWith(u"CREATE ")) {
            temp.db().exec(entry);
            continue;
        }
        if (entry.startsWith(u'-')) {
            QList<int> rows;
            for (const QString& row : entry.mid(1).split(u','))
                rows << row.toInt();
            try {
                catalogue->removeRows(rows);
            } catch (const DatabaseError&) {
                said << u"error"_s;
            }
            said << (catalogue->changed() ? u"changed"_s : u"unchanged"_s);
            continue;
        }
        const Catalogue::AddResult result = catalogue->add(entry);
        said << (result.outcome == Catalogue::AddOutcome::Added   ? u"added"_s
                 : result.outcome == Catalogue::AddOutcome::Empty ? u"empty"_s
                                                                  : result.message);
    }
    QCOMPARE(said.join(u'|'), log);
    QCOMPARE(catalogue->keyToSendOnClose(), catalogue->changed() ? u"rComputers"_s : QString());
    QCOMPARE(catalogue->entries().join(u'|'), stored);
    // Another window reads what this one stored.
    const std::unique_ptr<Catalogue> reopened = open();
    QCOMPARE(reopened->entries().join(u'|'), stored);
    QVERIFY(!reopened->changed());
}

QTEST_GUILESS_MAIN(TestCatalogues)
#include "tst_catalogues.moc"
