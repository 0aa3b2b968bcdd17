#include "protocol/Fields.h"
#include "wire/OrderParser.h"

#include <QTest>

using namespace kestrava;
using namespace kestrava::agent;

Q_DECLARE_METATYPE(kestrava::agent::ConsoleOrder)

namespace {
// '|' stands for the separator.
QString wire(const char* text) {
    return QString::fromLatin1(text).replace(QLatin1Char('|'), kFieldSeparator);
}
QDateTime at(int y, int mo, int d, int h, int mi, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}
ConsoleOrder order(MessageKind kind) {
    ConsoleOrder o;
    o.kind = kind;
    return o;
}
ConsoleOrder schedule(Schedule::Type type, const QDateTime& stamp = at(2026, 12, 3, 23, 25, 16)) {
    ConsoleOrder o = order(MessageKind::Schedule);
    o.schedule.type = type;
    o.schedule.stamp = stamp;
    return o;
}
} // namespace

#define STAMP "12/3/2026 11:25:16 PM"

class TestOrderParser : public QObject {
    Q_OBJECT
private slots:
    void accepted_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<ConsoleOrder>("expected");
        QTest::newRow("empty schedule") << wire("S") << order(MessageKind::Schedule);
        ConsoleOrder off = schedule(Schedule::Type::OnOff);
        off.schedule.internetOn = false;
        QTest::newRow("internet off") << wire("S|" STAMP "|1|False|0|") << off;
        QTest::newRow("stamp of time alone")
            << wire("S|12:00:05 AM|0|") << schedule(Schedule::Type::None, at(1899, 12, 30, 0, 0, 5));
        ConsoleOrder ranges = schedule(Schedule::Type::Ranges);
        ranges.schedule.blockInRanges = true;
        ranges.schedule.ranges = {{QTime(8, 0), QTime(9, 30), TimeRange::Repeat::Weekly, 62, 0},
                                  {QTime(22, 0), QTime(0, 0), TimeRange::Repeat::Monthly, 0, 2048}};
        QTest::newRow("two ranges") << wire(
                                           "S|" STAMP
                                           "|2|True|2|08:00 AM|09:30 AM|2|62|0|10:00 PM|12:00 AM|3|0|2048|0|")
                                    << ranges;
        QTest::newRow("group without ranges")
            << wire("S|" STAMP "|2|0|0|0|") << schedule(Schedule::Type::Ranges);
        ConsoleOrder timer = schedule(Schedule::Type::Timer);
        timer.schedule.timerType = QLatin1Char('F');
        timer.schedule.timerStart = at(2026, 12, 3, 23, 0);
        timer.schedule.timerEnd = at(2026, 12, 4, 0, 30);
        QTest::newRow("running timer")
            << wire("S|" STAMP "|3|F|12/3/2026 11:00:00 PM|12/4/2026 12:30:00 AM|0|") << timer;
        ConsoleOrder settings = order(MessageKind::Settings);
        settings.settings = {{80, 0, 65535}, QStringLiteral("Not now"), true, true};
        QTest::newRow("settings with flag") << wire("O|3|80|0|65535|Not now|True|") << settings;
        settings.settings.hasBlankFlag = settings.settings.blankScreen = false;
        QTest::newRow("settings without flag") << wire("O|3|80|0|65535|Not now|") << settings;
        settings.settings = {{}, {}, true, false};
        QTest::newRow("flag alone") << wire("OFalse|") << settings;
        ConsoleOrder list = order(MessageKind::WhiteList);
        list.entries = {QStringLiteral(" a.org "), QString()};
        QTest::newRow("entries as sent") << wire("P|2| a.org ||") << list;
        ConsoleOrder blank = order(MessageKind::BlankScreen);
        blank.blank = true;
        QTest::newRow("blank") << wire("L|True|") << blank;
    }

    void accepted() {
        QFETCH(QString, message);
        QFETCH(ConsoleOrder, expected);
        const OrderParse parse = parseOrder(message);
        QVERIFY2(parse.order, qPrintable(parse.error));
        QVERIFY(*parse.order == expected);
    }

    void refused_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("because");
        QTest::newRow("month 13") << wire("S|13/3/2026 11:25:16 PM|0|") << "time stamp";
        QTest::newRow("German afternoon") << wire("S|12/3/2026 11:25:16 nachm.|0|") << "time stamp";
        QTest::newRow("type 4") << wire("S|" STAMP "|4|") << "schedule type";
        QTest::newRow("on/off without trailer") << wire("S|" STAMP "|1|True|") << "3 fields where 4";
        QTest::newRow("24-hour range")
            << wire("S|" STAMP "|2|False|1|08:00|09:00 AM|1|0|0|0|") << "range 1: start";
        QTest::newRow("week days 128")
            << wire("S|" STAMP "|2|False|1|08:00 AM|09:00 AM|2|128|0|0|") << "week days";
        QTest::newRow("range count off")
            << wire("S|" STAMP "|2|False|2|08:00 AM|09:00 AM|1|0|0|0|") << "fields where";
        QTest::newRow("timer end") << wire("S|" STAMP "|3|N|12/3/2026 11:00:00 PM|soon|0|") << "timer end";
        QTest::newRow("port 65536") << wire("O|1|65536|m|") << "port 1";
        QTest::newRow("list count off") << wire("P|2|a.org|") << "1 entries where the count says 2";
        QTest::newRow("blank Yes") << wire("L|Yes|") << "blank-screen flag";
        QTest::newRow("letter with payload") << wire("T|") << "carries";
        QTest::newRow("client letter") << wire("o") << "not a console message";
    }

    void refused() {
        QFETCH(QString, message);
        QFETCH(QString, because);
        const OrderParse parse = parseOrder(message);
        QVERIFY(!parse.order);
        QVERIFY2(parse.error.contains(because), qPrintable(parse.error));
    }
};

QTEST_APPLESS_MAIN(TestOrderParser)
#include "tst_orderparser.moc"
