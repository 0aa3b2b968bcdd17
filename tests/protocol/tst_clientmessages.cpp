#include "WireText.h"
#include "protocol/Identification.h"
#include "protocol/Requests.h"
#include "protocol/StatusReport.h"

using namespace kestrava;
using namespace Qt::StringLiterals;

// What a client service sends: its identification, its reports and its requests, each a fixed text that
// the console reads back.
class TestClientMessages : public QObject {
    Q_OBJECT
private slots:
    void texts_data();
    void texts();
    void readBack_data();
    void readBack();
    void version_data();
    void version();
    void refused_data();
    void refused();
};

namespace {

// The text read back and written again; "-" when it is not read.
QString readAgain(const QString& text) {
    if (text.startsWith(u'd') || text.startsWith(u'D'))
        return encodeIdentification(decodeIdentification(text));
    if (const auto report = decodeStatusReport(text))
        return encodeStatusReport(*report);
    if (const auto request = decodeRequest(text))
        return encodeRequest(*request);
    return QStringLiteral("-");
}

} // namespace

void TestClientMessages::texts_data() {
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("text");
    QTest::newRow("identification") << encodeIdentification({u"ID7"_s, u"PC 7"_s, u"1.4"_s})
                                    << wire("d|ID7|PC 7|1.4|");
    const QStringList reports{u"hIN"_s, u"hIF"_s, u"hSN"_s, u"hSF"_s, u"hTN"_s, u"hTF"_s};
    for (int i = 0; i < reports.size(); ++i)
        QTest::newRow(qPrintable(reports[i])) << encodeStatusReport(StatusReport(i)) << reports[i];
    const QStringList requests{u"s"_s, u"o"_s, u"r"_s, u"b"_s};
    for (int i = 0; i < requests.size(); ++i)
        QTest::newRow(qPrintable(requests[i])) << encodeRequest(Request(i)) << requests[i];
}

void TestClientMessages::texts() {
    QFETCH(QString, encoded);
    QFETCH(QString, text);
    QCOMPARE(encoded, text);
    QCOMPARE(readAgain(text), text);
}

void TestClientMessages::readBack_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read");
    QTest::newRow("D") << wire("D|ID7|PC 7|1.4|") << wire("d|ID7|PC 7|1.4|");
    QTest::newRow("no last separator") << wire("d|ID7|PC 7|1.4") << wire("d|ID7|PC 7||");
    QTest::newRow("letter alone") << wire("d") << wire("d||||");
    QTest::newRow("report with more") << u"hINx"_s << u"hIN"_s;
    QTest::newRow("request with more") << u"sIN"_s << u"s"_s;
}

void TestClientMessages::readBack() {
    QFETCH(QString, text);
    QFETCH(QString, read);
    QCOMPARE(readAgain(text), read);
}

void TestClientMessages::version_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("right");
    for (const auto& [text, right] : {std::pair{"1.4", true},
                                      {"1.40", true},
                                      {" 1.4", true},
                                      {"1.4beta", true},
                                      {"1.5", false},
                                      {"1", false},
                                      {"1,4", false},
                                      {"", false}})
        QTest::newRow(text) << QString::fromLatin1(text) << right;
}

void TestClientMessages::version() {
    QFETCH(QString, version);
    QFETCH(bool, right);
    QCOMPARE((Identification{{}, {}, version}.hasClientVersion()), right);
}

void TestClientMessages::refused_data() {
    QTest::addColumn<QString>("text");
    textRows({"hXN", "hIX", "hin", "hI", "h", "", "S", "O", "x", "B"});
}

void TestClientMessages::refused() {
    QFETCH(QString, text);
    QCOMPARE(readAgain(text), QStringLiteral("-"));
}

QTEST_GUILESS_MAIN(TestClientMessages)
#include "tst_clientmessages.moc"
