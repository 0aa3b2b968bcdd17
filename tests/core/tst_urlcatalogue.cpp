#include "TempDatabase.h"
#include "core/lists/UrlCatalogue.h"
#include "protocol/Fields.h"

#include <QSqlQuery>
#include <QTest>

using namespace kestrava;

namespace {

QStringList storedUrls(Database& db) {
    QStringList urls;
    QSqlQuery query = db.exec(QStringLiteral("SELECT URL FROM DNS_Lookup_Table ORDER BY URL_ID"));
    while (query.next())
        urls.append(query.value(0).toString());
    return urls;
}

const QString kInvalid = QStringLiteral("Invalid URL!");
const QString kHttp = QStringLiteral(
    "Invalid URL! Please enter your URL without 'http://' as this part of the address is not needed.");

} // namespace

class TestUrlCatalogue : public QObject {
    Q_OBJECT
private slots:
    void validation_data();
    void validation();
    void duplicatesInAnyCaseRefused_data();
    void duplicatesInAnyCaseRefused();
    void emptyEntryDoesNothing();
    void deleteSetsChangedAndAdditionDoesNot();
    void loadReadsWhatIsStored();
};

void TestUrlCatalogue::validation_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("normalised");
    QTest::addColumn<QString>("message");

    QTest::newRow("trimmed and lower case")
        << QStringLiteral("  WWW.Example.COM ") << true << QStringLiteral("www.example.com") << QString();
    QTest::newRow("http lower") << QStringLiteral("http://example.com") << false
                                << QStringLiteral("http://example.com") << kHttp;
    QTest::newRow("http mixed case") << QStringLiteral("HtTp://Example.com") << false
                                     << QStringLiteral("http://example.com") << kHttp;
    QTest::newRow("http after blanks")
        << QStringLiteral("  HTTP://a.b") << false << QStringLiteral("http://a.b") << kHttp;
    QTest::newRow("https accepted") << QStringLiteral("HTTPS://Secure.org") << true
                                    << QStringLiteral("https://secure.org") << QString();
    QTest::newRow("ftp accepted") << QStringLiteral("ftp://files.net") << true
                                  << QStringLiteral("ftp://files.net") << QString();
    QTest::newRow("ip address") << QStringLiteral("192.168.0.1") << true << QStringLiteral("192.168.0.1")
                                << QString();
    QTest::newRow("length 2") << QStringLiteral("ab") << false << QStringLiteral("ab") << kInvalid;
    QTest::newRow("length 2 after trim")
        << QStringLiteral(" ab ") << false << QStringLiteral("ab") << kInvalid;
    QTest::newRow("length 3") << QStringLiteral("a.b") << true << QStringLiteral("a.b") << QString();
    QTest::newRow("blanks only") << QStringLiteral("     ") << false << QString() << kInvalid;
    QTest::newRow("inner blank") << QStringLiteral("exa mple.com") << false << QStringLiteral("exa mple.com")
                                 << kInvalid;
    QTest::newRow("apostrophe") << QStringLiteral("o'neil.com") << false << QStringLiteral("o'neil.com")
                                << kInvalid;
    QTest::newRow("two dots") << QStringLiteral("example..com") << false << QStringLiteral("example..com")
                              << kInvalid;
    QTest::newRow("50 characters") << QString(46, QLatin1Char('a')) + QStringLiteral(".com") << true
                                   << QString(46, QLatin1Char('a')) + QStringLiteral(".com") << QString();
    // Lower case turns the separator into a letter that travels as a letter.
    QTest::newRow("separator lowered")
        << QStringLiteral("ab") + QString(kFieldSeparator) + QStringLiteral("cd.com") << true
        << QStringLiteral("ab\u00e7cd.com") << QString();
    QTest::newRow("no single byte") << QStringLiteral("例え.jp") << false << QStringLiteral("例え.jp")
                                    << kInvalid + QStringLiteral(" The character '例' cannot be sent to the "
                                                                 "client services.");
    QTest::newRow("latin-1 letters travel")
        << QStringLiteral("café.fr") << true << QStringLiteral("café.fr") << QString();
}

void TestUrlCatalogue::validation() {
    QFETCH(QString, typed);
    QFETCH(bool, valid);
    QFETCH(QString, normalised);
    QFETCH(QString, message);
    QString url = typed;
    QString shown;
    QCOMPARE(UrlCatalogue::Is_Valid_URL(url, &shown), valid);
    QCOMPARE(url, normalised);
    QCOMPARE(shown, message);
}

void TestUrlCatalogue::duplicatesInAnyCaseRefused_data() {
    QTest::addColumn<QString>("again");
    QTest::newRow("same") << QStringLiteral("news.example.org");
    QTest::newRow("capitals") << QStringLiteral("NEWS.EXAMPLE.ORG");
    QTest::newRow("mixed with blanks") << QStringLiteral(" nEwS.example.Org  ");
}

void TestUrlCatalogue::duplicatesInAnyCaseRefused() {
    QFETCH(QString, again);
    TempDatabase temp;
    UrlCatalogue catalogue(temp.db());
    catalogue.load();
    QCOMPARE(catalogue.add(QStringLiteral("News.Example.org")).outcome, Catalogue::AddOutcome::Added);
    const auto result = catalogue.add(again);
    QCOMPARE(result.outcome, Catalogue::AddOutcome::AlreadyAdded);
    QCOMPARE(result.message, QStringLiteral("URL already added!"));
    // Stored once, in the form it was checked in.
    QCOMPARE(storedUrls(temp.db()), QStringList{QStringLiteral("news.example.org")});
}

void TestUrlCatalogue::emptyEntryDoesNothing() {
    TempDatabase temp;
    UrlCatalogue catalogue(temp.db());
    catalogue.load();
    const auto result = catalogue.add(QString());
    QCOMPARE(result.outcome, Catalogue::AddOutcome::Empty);
    QVERIFY(result.message.isEmpty());
    QVERIFY(storedUrls(temp.db()).isEmpty());
}

// Shared by both catalogues: additions leave the lists as they are, deletions change them.
void TestUrlCatalogue::deleteSetsChangedAndAdditionDoesNot() {
    TempDatabase temp;
    UrlCatalogue catalogue(temp.db());
    catalogue.load();
    for (const char* url : {"a.com", "b.com", "c.com", "d.com", "e.com"})
        catalogue.add(QLatin1String(url));
    QVERIFY(!catalogue.changed());
    catalogue.removeRows({1, 4, 3, 1});
    QVERIFY(catalogue.changed());
    const QStringList left{QStringLiteral("a.com"), QStringLiteral("c.com")};
    QCOMPARE(catalogue.entries(), left);
    QCOMPARE(storedUrls(temp.db()), left);
    UrlCatalogue reopened(temp.db());
    reopened.load();
    QVERIFY(!reopened.changed());
    QCOMPARE(reopened.entries(), left);
}

void TestUrlCatalogue::loadReadsWhatIsStored() {
    TempDatabase temp;
    temp.db().exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES(?),(?)"),
                   {QStringLiteral("x.org"), QStringLiteral("y.org")});
    UrlCatalogue catalogue(temp.db());
    catalogue.load();
    QCOMPARE(catalogue.count(), 2);
    QVERIFY(catalogue.Is_URL_Listed(QStringLiteral("X.ORG")));
    QVERIFY(!catalogue.Is_URL_Listed(QStringLiteral("z.org")));
}

QTEST_GUILESS_MAIN(TestUrlCatalogue)
#include "tst_urlcatalogue.moc"
