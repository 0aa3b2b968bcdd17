#include "WireText.h"
#include "protocol/InboundSplitter.h"
#include "protocol/WireCodec.h"

#include <QSignalSpy>

using namespace kestrava;
using namespace std::chrono_literals;

class TestInboundSplitter : public QObject {
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void identificationWait();
};

namespace {

QByteArray utf16(const char* text) {
    return WireCodec::encodeUtf16(wire(text));
}

} // namespace

void TestInboundSplitter::split_data() {
    QTest::addColumn<QList<QByteArray>>("arrivals");
    QTest::addColumn<QStringList>("messages");
    auto row = [](const char* name, QList<QByteArray> arrivals, QStringList messages) {
        QTest::newRow(name) << arrivals << messages;
    };
    const QString id = QStringLiteral("d|id|pc|1.4|");
    row("identification", {utf16("d|id|pc|1.4|")}, {id});
    row("four requests in one arrival", {utf16("sorb")},
        {QStringLiteral("s"), QStringLiteral("o"), QStringLiteral("r"), QStringLiteral("b")});
    row("identification then request", {utf16("d|id|pc|1.4|s")}, {id, QStringLiteral("s")});
    row("status then request", {utf16("hINs")}, {QStringLiteral("hIN"), QStringLiteral("s")});
    row("status with unknown code is still one message", {utf16("hXYs")},
        {QStringLiteral("hXY"), QStringLiteral("s")});
    row("status cut short", {utf16("hI")}, {QStringLiteral("hI")});
    row("garbage after a message is dropped", {utf16("sxs")}, {QStringLiteral("s")});
    row("d without separator after a message", {utf16("sdx|a|b|1.4|")}, {QStringLiteral("s")});
    row("h with unknown code after a message", {utf16("shXYs")}, {QStringLiteral("s")});
    row("unknown letter takes the whole arrival", {utf16("xs")}, {QStringLiteral("xs")});
    row("request payload after its letter is dropped", {utf16("s123")}, {QStringLiteral("s")});
    row("empty arrival", {QByteArray()}, {});
    row("odd byte waits for the next arrival", {QByteArray("s\0o", 3), QByteArray("\0", 1)},
        {QStringLiteral("s"), QStringLiteral("o")});
    row("identification cut inside a character",
        {utf16("d|id|pc|1.4|").left(7), utf16("d|id|pc|1.4|").mid(7)}, {id});
    row("request before an identification in pieces", {utf16("sd|id|"), utf16("pc|1.4|")},
        {QStringLiteral("s"), id});
    // The limits of one arrival: its bytes, then its messages.
    const QByteArray request = utf16("s");
    const QByteArray largest = request.repeated(InboundSplitter::kMaxArrivalBytes / 2);
    row("an arrival over the limit is dropped with what was held back",
        {QByteArray("s\0d", 3), largest + request, utf16("o")}, {QStringLiteral("s"), QStringLiteral("o")});
    row("the largest arrival", {largest},
        QStringList(InboundSplitter::kMaxMessagesPerArrival, QStringLiteral("s")));
    const QByteArray joined = utf16("hIN").repeated(InboundSplitter::kMaxMessagesPerArrival);
    row("joined messages are cut off at the limit",
        {joined + utf16("d|id|pc|1.4|"), utf16("hINd|id|pc|1.4|")},
        QStringList(InboundSplitter::kMaxMessagesPerArrival + 1, QStringLiteral("hIN")) << id);
}

void TestInboundSplitter::split() {
    QFETCH(QList<QByteArray>, arrivals);
    QFETCH(QStringList, messages);
    InboundSplitter splitter(10s);
    QStringList split;
    for (const QByteArray& arrival : arrivals)
        split << splitter.feed(arrival);
    QCOMPARE(shown(split), messages);
    QVERIFY(!splitter.isHoldingBack());
}

// One completed in time and one over the limit dropped do not time out; one cut short is handed over
// after the wait.
void TestInboundSplitter::identificationWait() {
    InboundSplitter splitter(100ms);
    QSignalSpy timedOut(&splitter, &InboundSplitter::identificationTimedOut);
    QVERIFY(splitter.feed(utf16("d|id|")).isEmpty());
    QCOMPARE(splitter.feed(utf16("pc|1.4|")).size(), 1);
    const QByteArray half =
        WireCodec::encodeUtf16(QString(InboundSplitter::kMaxArrivalBytes / 4, QLatin1Char('x')));
    QVERIFY(splitter.feed(utf16("d|") + half).isEmpty());
    QVERIFY(splitter.isHoldingBack());
    QVERIFY(splitter.feed(half).isEmpty());
    QVERIFY(!splitter.isHoldingBack());
    QVERIFY(!timedOut.wait(300));
    QVERIFY(splitter.feed(utf16("d|id|pc|1.4")).isEmpty());
    QVERIFY(timedOut.wait(5000));
    QCOMPARE(shown({timedOut.at(0).at(0).toString()}), QStringList{QStringLiteral("d|id|pc|1.4")});
    QVERIFY(!splitter.isHoldingBack());
    QCOMPARE(shown(splitter.feed(utf16("s"))), QStringList{QStringLiteral("s")});
}

QTEST_GUILESS_MAIN(TestInboundSplitter)
#include "tst_inboundsplitter.moc"
