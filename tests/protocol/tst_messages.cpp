#include "WireText.h"
#include "protocol/Identification.h"
#include "protocol/Messages.h"
#include "protocol/Requests.h"
#include "protocol/StatusReport.h"

using namespace kestrava;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(kestrava::MessageKind)

// The letters of every kind, and what a client service sends: its identification, its reports and its
// requests, each a fixed text that the console reads back.
class TestMessages : public QObject {
    Q_OBJECT
private slots:
    void everyKind_data();
    void everyKind();
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

void TestMessages::everyKind_data() {
    QTest::addColumn<MessageKind>("kind");
    QTest::addColumn<int>("sender");
    QTest::addColumn<QChar>("letter");
    const QString letters = QStringLiteral("SOPBFLVITUdhsorb");
    QCOMPARE(Messages::kinds().size(), std::size_t(letters.size()));
    for (qsizetype i = 0; i < letters.size(); ++i) {
        const MessageKindInfo& info = Messages::kinds()[std::size_t(i)];
        QTest::newRow(qPrintable(QString(letters[i])))
            << info.kind << static_cast<int>(info.sender) << letters[i];
    }
}

void TestMessages::everyKind() {
    QFETCH(MessageKind, kind);
    QFETCH(int, sender);
    QFETCH(QChar, letter);
    QCOMPARE(Messages::letterOf(kind), letter);
    QCOMPARE(Messages::kindOf(static_cast<MessageSender>(sender), QString(letter) + QStringLiteral("x")),
             kind);
    QCOMPARE(sender == int(MessageSender::Console), kind < MessageKind::Identification);
}

void TestMessages::texts_data() {
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

void TestMessages::texts() {
    QFETCH(QString, encoded);
    QFETCH(QString, text);
    QCOMPARE(encoded, text);
    QCOMPARE(readAgain(text), text);
}

void TestMessages::readBack_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read");
    QTest::newRow("D") << wire("D|ID7|PC 7|1.4|") << wire("d|ID7|PC 7|1.4|");
    QTest::newRow("no last separator") << wire("d|ID7|PC 7|1.4") << wire("d|ID7|PC 7||");
    QTest::newRow("letter alone") << wire("d") << wire("d||||");
    QTest::newRow("report with more") << u"hINx"_s << u"hIN"_s;
    QTest::newRow("request with more") << u"sIN"_s << u"s"_s;
}

void TestMessages::readBack() {
    QFETCH(QString, text);
    QFETCH(QString, read);
    QCOMPARE(readAgain(text), read);
}

// The version is the number the text starts with, as the console's runtime reads it.
void TestMessages::version_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("right");
    for (const auto& [text, right] : {std::pair{"1.4", true},
                                      {" 1.4", true},
                                      {"1.4beta", true},
                                      {"1.4.1", true},
                                      {"14e-1", true},
                                      {".14e1", true},
                                      {"1.4ex", true},
                                      {"1.5", false},
                                      {"1", false},
                                      {"", false}})
        QTest::newRow(text) << QString::fromLatin1(text) << right;
}

void TestMessages::version() {
    QFETCH(QString, version);
    QFETCH(bool, right);
    QCOMPARE((Identification{{}, {}, version}.hasClientVersion()), right);
}

void TestMessages::refused_data() {
    QTest::addColumn<QString>("text");
    textRows({"hXN", "hIX", "hin", "hI", "h", "", "S", "O", "x", "B"});
}

void TestMessages::refused() {
    QFETCH(QString, text);
    QCOMPARE(readAgain(text), QStringLiteral("-"));
}

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
