#include "protocol/Fields.h"
#include "protocol/Messages.h"
#include "protocol/WireCodec.h"

#include <QTest>
#include <tuple>

using namespace kestrava;

Q_DECLARE_METATYPE(kestrava::MessageKind)

class TestMessages : public QObject {
    Q_OBJECT
private slots:
    void everyKind_data();
    void everyKind();
    void typedFields();
    void identificationFields_data();
    void identificationFields();
    void leadingNumber_data();
    void leadingNumber();
    void statusCodes_data();
    void statusCodes();
};

namespace {

QString wire(const char* text) {
    return QString::fromLatin1(text).replace(QLatin1Char('|'), kFieldSeparator);
}

// One built sample per kind and the text it must be, with '|' for the separator.
struct Sample {
    QString built;
    QString expected;
};

Sample sampleOf(MessageKind kind) {
    switch (kind) {
    case MessageKind::Schedule:
        return {Messages::buildSchedule(wire("|3/12/2026 10:00:02 AM|0|")),
                wire("S|3/12/2026 10:00:02 AM|0|")};
    case MessageKind::Settings:
        return {Messages::buildSettings(wire("|10|80|")), wire("O|10|80|")};
    case MessageKind::WhiteList:
        return {Messages::buildWhiteList(wire("|1|www.a.com|")), wire("P|1|www.a.com|")};
    case MessageKind::BlockList:
        return {Messages::buildBlockList(wire("|0|")), wire("B|0|")};
    case MessageKind::Flag:
        return {Messages::buildFlag(Messages::kFlagSynchronized), wire("F|3|")};
    case MessageKind::BlankScreen:
        return {Messages::buildBlankScreen(true), wire("L|True|")};
    case MessageKind::MakeVisible:
        return {Messages::buildMakeVisible(), QStringLiteral("V")};
    case MessageKind::MakeInvisible:
        return {Messages::buildMakeInvisible(), QStringLiteral("I")};
    case MessageKind::Terminate:
        return {Messages::buildTerminate(), QStringLiteral("T")};
    case MessageKind::Uninstall:
        return {Messages::buildUninstall(), QStringLiteral("U")};
    case MessageKind::Identification:
        return {Messages::buildIdentification(QStringLiteral("ID7"), QStringLiteral("PC7"),
                                              QStringLiteral("1.4")),
                wire("d|ID7|PC7|1.4|")};
    case MessageKind::StatusReport:
        return {Messages::buildStatusReport(QStringLiteral("SF")), QStringLiteral("hSF")};
    case MessageKind::AskSchedule:
        return {Messages::buildAskSchedule(), QStringLiteral("s")};
    case MessageKind::AskSettings:
        return {Messages::buildAskSettings(), QStringLiteral("o")};
    case MessageKind::AskWhiteList:
        return {Messages::buildAskWhiteList(), QStringLiteral("r")};
    case MessageKind::AskBlockList:
        return {Messages::buildAskBlockList(), QStringLiteral("b")};
    }
    return {};
}

} // namespace

void TestMessages::everyKind_data() {
    QTest::addColumn<MessageKind>("kind");
    QTest::addColumn<int>("sender");
    QTest::addColumn<QChar>("letter");
    for (const MessageKindInfo& info : Messages::kinds())
        QTest::newRow(qPrintable(QString(QChar(info.letter))))
            << info.kind << static_cast<int>(info.sender) << QChar(info.letter);
}

void TestMessages::everyKind() {
    QFETCH(MessageKind, kind);
    QFETCH(int, sender);
    QFETCH(QChar, letter);
    const Sample sample = sampleOf(kind);
    QCOMPARE(sample.built, sample.expected);
    QCOMPARE(sample.built.front(), letter);
    QCOMPARE(Messages::letterOf(kind), letter);
    QCOMPARE(Messages::kindOf(static_cast<MessageSender>(sender), sample.built), kind);

    // Through the codec of its direction and back.
    if (static_cast<MessageSender>(sender) == MessageSender::Console) {
        const QByteArray bytes = WireCodec::encode(sample.built);
        QCOMPARE(bytes.size(), sample.built.size());
        QCOMPARE(WireCodec::decodeSingleByte(bytes), sample.built);
    } else {
        const QByteArray bytes = WireCodec::encodeUtf16(sample.built);
        QCOMPARE(bytes.size(), sample.built.size() * 2);
        QCOMPARE(WireCodec::decode(bytes), sample.built);
    }
}

void TestMessages::typedFields() {
    QCOMPARE(Messages::parseSchedule(wire("S|3/12/2026 10:00:02 AM|1|True|0|")),
             QStringList({QStringLiteral("3/12/2026 10:00:02 AM"), QStringLiteral("1"),
                          QStringLiteral("True"), QStringLiteral("0")}));
    QCOMPARE(Messages::parseSchedule(QStringLiteral("S")), QStringList());
    QCOMPARE(Messages::parseSettings(wire("O|10|0|")),
             QStringList({QStringLiteral("10"), QStringLiteral("0")}));
    QCOMPARE(Messages::parseWhiteList(wire("P|2|a.com|b.org|")),
             QStringList({QStringLiteral("a.com"), QStringLiteral("b.org")}));
    QCOMPARE(Messages::parseBlockList(wire("B|0|")), QStringList());
    QCOMPARE(Messages::parseFlag(Messages::buildFlag(Messages::kFlagMoved)), Messages::kFlagMoved);
    QCOMPARE(Messages::parseBlankScreen(Messages::buildBlankScreen(true)), true);
    QCOMPARE(Messages::parseBlankScreen(Messages::buildBlankScreen(false)), false);
    QVERIFY(Messages::parseMakeVisible(Messages::buildMakeVisible()));
    QVERIFY(!Messages::parseMakeVisible(Messages::buildMakeInvisible()));
    QVERIFY(!Messages::parseAskBlockList(Messages::buildAskSchedule()));
    // The client's "D" is an identification too; the console's letters are not the client's.
    QCOMPARE(Messages::kindOf(MessageSender::Client, wire("D|a|b|1.4|")), MessageKind::Identification);
    QCOMPARE(Messages::kindOf(MessageSender::Client, QStringLiteral("S")), std::nullopt);
    QCOMPARE(Messages::kindOf(MessageSender::Console, QStringLiteral("s")), std::nullopt);
    QCOMPARE(Messages::kindOf(MessageSender::Client, QString()), std::nullopt);
}

void TestMessages::identificationFields_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("rightVersion");
    for (const auto& [row, text, right] : {std::tuple{"1.4", "d|ID|PC|1.4|", true},
                                           {"1.40", "d|ID|PC|1.40|", true},
                                           {"blank before", "d|ID|PC| 1.4|", true},
                                           {"text after", "d|ID|PC|1.4beta|", true},
                                           {"1.5", "d|ID|PC|1.5|", false},
                                           {"1", "d|ID|PC|1|", false},
                                           {"comma", "d|ID|PC|1,4|", false},
                                           {"missing", "d|ID|PC|", false},
                                           {"without its separator", "d|ID|PC|1.4", false},
                                           {"letter alone", "d", false}})
        QTest::newRow(row) << wire(text) << right;
}

void TestMessages::identificationFields() {
    QFETCH(QString, message);
    QFETCH(bool, rightVersion);
    const Identification id = Messages::parseIdentification(message);
    const bool fields = message.size() > 1;
    QCOMPARE(id.identifier, fields ? QStringLiteral("ID") : QString());
    QCOMPARE(id.computerName, fields ? QStringLiteral("PC") : QString());
    QCOMPARE(id.version == Messages::kClientVersion, rightVersion);
}

void TestMessages::leadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("plain") << QStringLiteral("1.4") << 1.4;
    QTest::newRow("sign") << QStringLiteral("-2.5") << -2.5;
    QTest::newRow("stops at text") << QStringLiteral("12ab3") << 12.0;
    QTest::newRow("second point ends") << QStringLiteral("1.4.1") << 1.4;
    QTest::newRow("exponent") << QStringLiteral("14e-1") << 1.4;
    QTest::newRow("exponent without digits") << QStringLiteral("3e") << 3.0;
    QTest::newRow("no digits") << QStringLiteral("abc") << 0.0;
    QTest::newRow("point alone") << QStringLiteral(".") << 0.0;
    QTest::newRow("leading point") << QStringLiteral(".5") << 0.5;
}

void TestMessages::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Messages::leadingNumber(text), value);
}

void TestMessages::statusCodes_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("known");
    for (const char* code : {"IN", "IF", "SN", "SF", "TN", "TF"})
        QTest::newRow(code) << QString::fromLatin1(code) << true;
    for (const char* code : {"XN", "IX", "in", "I", "INX", ""})
        QTest::newRow(qPrintable(QStringLiteral("not ") + QLatin1String(code)))
            << QString::fromLatin1(code) << false;
}

void TestMessages::statusCodes() {
    QFETCH(QString, code);
    QFETCH(bool, known);
    QCOMPARE(Messages::isStatusCode(code), known);
}

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
