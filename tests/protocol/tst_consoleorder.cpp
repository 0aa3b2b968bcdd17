#include "WireText.h"
#include "protocol/ConsoleOrder.h"
#include "protocol/ConsoleTimeText.h"
#include "protocol/ListOrders.h"
#include "protocol/ShortOrders.h"

#include <QLocale>

using namespace kestrava;
using namespace Qt::StringLiterals;

// Each kind of console message: the fixed text its encoder gives, and what the agent reads back from
// that text, written again with the same encoder; its date and time texts with it. The recording in
// console-capture.txt holds the texts of many more database states.
class TestConsoleOrder : public QObject {
    Q_OBJECT
private slots:
    // AM/PM must stay English whatever the user's locale.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void texts_data();
    void texts();
};

namespace {

QDateTime at(int day, int hour, int minute, int second = 0) {
    return ConsoleTimeText::naive(QDate(2026, 3, day), QTime(hour, minute, second));
}

Schedule stamped(Schedule::Type type) {
    Schedule s;
    s.type = type;
    s.stamp = at(12, 10, 0, 2);
    return s;
}

QString writtenAgain(const ConsoleOrder& order) {
    switch (order.kind) {
    case MessageKind::Schedule:
        return encodeSchedule(order.schedule);
    case MessageKind::Settings:
        return encodeSettings(order.settings);
    case MessageKind::WhiteList:
        return encodeWhiteList(order.entries);
    case MessageKind::BlockList:
        return encodeBlockList(order.entries);
    case MessageKind::Flag:
        return encodeFlag(order.flagCode);
    case MessageKind::BlankScreen:
        return encodeBlankScreen(order.blank);
    default:
        return encodeBareOrder(order.kind);
    }
}

// Rows of texts the agent refuses, named by them.
void refusedRows(std::initializer_list<const char*> texts) {
    for (const char* text : texts)
        QTest::newRow(text) << QString() << wire(text) << false;
}

} // namespace

void TestConsoleOrder::texts_data() {
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("taken");
    const auto row = [](const char* name, const QString& encoded, const char* text, bool taken = true) {
        QTest::newRow(name) << encoded << wire(text) << taken;
    };
    row("no schedule", encodeSchedule(Schedule()), "S");
    Schedule ranges = stamped(Schedule::Type::Ranges);
    ranges.blockInRanges = true;
    ranges.ranges = {{QTime(9, 0), QTime(17, 0), TimeRange::Repeat::Weekly, 34, 0},
                     {QTime(22, 0), QTime(0, 0), TimeRange::Repeat::Monthly, 0, 2049}};
    row("two ranges", encodeSchedule(ranges),
        "S|3/12/2026 10:00:02 AM|2|True|2|09:00 AM|05:00 PM|2|34|0|10:00 PM|12:00 AM|3|0|2049|0|");
    Schedule none = stamped(Schedule::Type::Ranges);
    none.hasBlockFlag = false;
    row("a group's no ranges", encodeSchedule(none), "S|3/12/2026 10:00:02 AM|2|0|0|0|");
    Schedule timer = stamped(Schedule::Type::Timer);
    row("timer over", encodeSchedule(timer), "S|3/12/2026 10:00:02 AM|3|");
    timer.timerStart = at(12, 12, 0);
    timer.timerEnd = at(13, 0, 0, 1);
    timer.timerType = u'N';
    row("ON timer from noon to past midnight", encodeSchedule(timer),
        "S|3/12/2026 10:00:02 AM|3|N|3/12/2026 12:00:00 PM|3/13/2026 12:00:01 AM|0|");
    Schedule alone = stamped(Schedule::Type::None);
    alone.stamp = ConsoleTimeText::naive(ConsoleTimeText::kZeroDate, QTime(9, 30));
    row("time alone", encodeSchedule(alone), "S|9:30:00 AM|0|");
    const QList<int> ports{80, 21, 23, 25, 110, 1080, 119, 1027, 194, 0};
    row("settings to a system", encodeSettings({ports, QStringLiteral("\u00e9t\u00e9 \u20ac"), true, false}),
        "O|10|80|21|23|25|110|1080|119|1027|194|0|été €|False|");
    row("settings flag alone", encodeSettings({{}, QString(), true, true}), "OTrue|");
    row("white list as stored", encodeWhiteList(QStringList{u"wikipedia.org"_s, u" a.b:8080/path "_s}),
        "P|2|wikipedia.org| a.b:8080/path |");
    row("no white list", encodeWhiteList(std::nullopt), "P", false);
    row("block list", encodeBlockList(QStringList{u"Game Launcher.exe"_s, u"\u00e9"_s}),
        "B|2|Game Launcher.exe|é|");
    row("no block list", encodeBlockList(std::nullopt), "B", false);
    row("synchronised", encodeFlag(Messages::kFlagSynchronized), "F|3|");
    row("moved", encodeFlag(Messages::kFlagMoved), "F|7|");
    row("blank", encodeBlankScreen(true), "L|True|");
    row("show", encodeBlankScreen(false), "L|False|");
    row("visible", encodeBareOrder(MessageKind::MakeVisible), "V");
    row("invisible", encodeBareOrder(MessageKind::MakeInvisible), "I");
    row("terminate", encodeBareOrder(MessageKind::Terminate), "T");
    row("uninstall", encodeBareOrder(MessageKind::Uninstall), "U");
    refusedRows({"S|3/12/2026 10:00:02 AM|", "S|3/12/2026 10:00:02 AM|0", "S|3/12/2026|0|",
                 "S|3/32/2026 10:00:02 AM|0|", "S|3/12/2026 13:00:02 PM|0|", "S|3/12/2026 10:00:02 AM|4|",
                 "S|3/12/2026 10:00:02 AM|0|0|", "S|3/12/2026 10:00:02 AM|1|Yes|0|",
                 "S|3/12/2026 10:00:02 AM|1|True|",
                 "S|3/12/2026 10:00:02 AM|2|True|2|09:00 AM|05:00 PM|2|34|0|0|",
                 "S|3/12/2026 10:00:02 AM|2|True|1|9h|05:00 PM|1|0|0|0|",
                 "S|3/12/2026 10:00:02 AM|2|True|1|09:00 AM|05:00 PM|0|0|0|0|",
                 "S|3/12/2026 10:00:02 AM|2|True|1|09:00 AM|05:00 PM|2|128|0|0|",
                 "S|3/12/2026 10:00:02 AM|2|True|1|09:00 AM|05:00 PM|3|0|4096|0|",
                 "S|3/12/2026 10:00:02 AM|2|True|1001|",
                 "S|3/12/2026 10:00:02 AM|3|NN|3/12/2026 10:00:00 AM|3/12/2026 11:00:00 AM|0|",
                 "S|3/12/2026 10:00:02 AM|3|N|soon|3/12/2026 11:00:00 AM|0|"});
    // Date and time texts the agent refuses.
    refusedRows({"S|3/12/26 10:00:02 AM|0|", "S|3-12-2026 10:00:02 AM|0|", "S|a/b/cdef 1:00:00 AM|0|",
                 "S|2/30/2026 10:00:00 AM|0|", "S|0:00:00 AM|0|", "S|10:00 AM|0|", "S|10:00:00 XM|0|"});
    refusedRows({"O|10|80|", "O|2|80|70000|m|", "O|2|80|-1|m|", "O|x|m|", "O|1|80|m|Maybe|",
                 "O|1|80|m|True|x|", "OMaybe|", "OTrue|False|", "OTrue", "O|1001|", "P|", "P|2|a|",
                 "P|1|a|b|", "B|x|", "B|-1|"});
    refusedRows({"B|1001|", "B|1|a", "F|x|", "F|3|4|", "F|", "F3", "F|1000000|", "L|Yes|", "L|True", "L||",
                 "V|", "Tx", "Ux|", "x", ""});
}

void TestConsoleOrder::texts() {
    QFETCH(QString, encoded);
    QFETCH(QString, text);
    QFETCH(bool, taken);
    if (!encoded.isEmpty())
        QCOMPARE(encoded, text);
    const OrderParse parse = parseOrder(text);
    QCOMPARE(parse.error.isEmpty(), taken);
    QCOMPARE(parse.order.has_value(), taken);
    if (taken)
        QCOMPARE(writtenAgain(*parse.order), text);
}

QTEST_GUILESS_MAIN(TestConsoleOrder)
#include "tst_consoleorder.moc"
