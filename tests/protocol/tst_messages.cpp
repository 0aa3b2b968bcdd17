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
    void version_data();
    void version();
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

// Each text, what is read from it written again ("-" when it is refused) and, for the client's own
// texts, what its encoder gives.
void TestMessages::texts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("encoded");
    const auto row = [](const QString& text, const QString& read, const QString& encoded = QString()) {
        QTest::newRow(qPrintable(shown({text}).constFirst())) << text << read << encoded;
    };
    row(wire("d|ID7|PC 7|1.4|"), wire("d|ID7|PC 7|1.4|"),
        encodeIdentification({u"ID7"_s, u"PC 7"_s, u"1.4"_s}));
    const QStringList reports{u"hIN"_s, u"hIF"_s, u"hSN"_s, u"hSF"_s, u"hTN"_s, u"hTF"_s};
    for (int i = 0; i < reports.size(); ++i)
        row(reports[i], reports[i], encodeStatusReport(StatusReport(i)));
    const QStringList requests{u"s"_s, u"o"_s, u"r"_s, u"b"_s};
    for (int i = 0; i < requests.size(); ++i)
        row(requests[i], requests[i], encodeRequest(Request(i)));
    row(wire("D|ID7|PC 7|1.4|"), wire("d|ID7|PC 7|1.4|"));
    row(wire("d|ID7|PC 7|1.4"), wire("d|ID7|PC 7||"));
    row(wire("d"), wire("d||||"));
    row(u"hINx"_s, u"hIN"_s);
    row(u"sIN"_s, u"s"_s);
    for (const char* text : {"hXN", "hIX", "hin", "hI", "h", "", "S", "O", "x", "B"})
        row(QString::fromLatin1(text), u"-"_s);
}

void TestMessages::texts() {
    QFETCH(QString, text);
    QFETCH(QString, read);
    QFETCH(QString, encoded);
    QCOMPARE(readAgain(text), read);
    if (!encoded.isEmpty())
        QCOMPARE(encoded, text);
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

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
