#include "WireText.h"
#include "protocol/ConsoleSplitter.h"

using namespace kestrava;
using Rest = SplitResult::Rest;

#define STAMP "12/6/2026 9:00:02 AM"

class TestConsoleSplitter : public QObject {
    Q_OBJECT
private slots:
    void split_data() {
        QTest::addColumn<QString>("buffer");
        QTest::addColumn<bool>("final");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("rest");
        const auto row = [](const char* name, const char* buffer, bool final,
                            std::initializer_list<const char*> messages, Rest rest) {
            QTest::newRow(name) << wire(buffer) << final << wire(messages) << int(rest);
        };
        row("schedule then white list", "S|" STAMP "|1|True|0|P|1|a.org|", false,
            {"S|" STAMP "|1|True|0|", "P|1|a.org|"}, Rest::Empty);
        row("settings without flag, T and F", "O|1|80|m|TF|3|", false, {"O|1|80|m|", "T", "F|3|"},
            Rest::Empty);
        row("T after settings may be its flag", "O|1|80|m|T", false, {}, Rest::MaybeComplete);
        row("final: T after settings terminates", "O|1|80|m|T", true, {"O|1|80|m|", "T"}, Rest::Empty);
        row("final: cut flag is no order", "O|1|80|m|Tr", true, {}, Rest::Bad);
        row("empty settings with flag", "OFalse|V", false, {"OFalse|", "V"}, Rest::Empty);
        row("empty settings then flag order", "OF|7|", false, {"O", "F|7|"}, Rest::Empty);
        row("empty schedule at the end", "L|True|S", false, {"L|True|"}, Rest::MaybeComplete);
        row("final: empty schedule", "S", true, {"S"}, Rest::Empty);
        row("group, then system without ranges", "S|" STAMP "|2|0|0|0|S|" STAMP "|2|False|0|0|0|U", false,
            {"S|" STAMP "|2|0|0|0|", "S|" STAMP "|2|False|0|0|0|", "U"}, Rest::Empty);
        row("timer header at the end", "S|" STAMP "|3|", false, {}, Rest::MaybeComplete);
        row("final: timer header alone", "S|" STAMP "|3|", true, {"S|" STAMP "|3|"}, Rest::Empty);
        row("list still coming", "P|2|a.org|", false, {}, Rest::Incomplete);
        row("final: list cut off", "P|2|a.org|", true, {}, Rest::Bad);
        row("good message before an unknown letter", "VX", false, {"V"}, Rest::Bad);
        row("count over 1,000 before its separator", "P|1001", false, {}, Rest::Bad);
        // Fuzz finding: a blank-screen order carrying a time passed for the start of a running timer.
        row("timer header, then a blank-screen order with no flag", "S|" STAMP "|3|L|0:00 PM|2|", false,
            {"S|" STAMP "|3|"}, Rest::Bad);
        row("schedule type 4", "S|" STAMP "|4|", false, {}, Rest::Bad);
        row("block flag neither True nor False", "S|" STAMP "|2|Yes|", false, {}, Rest::Bad);
        QTest::newRow("message over 1 MiB") << wire("P|1|") + QString(kMaxConsoleMessageChars, u'a') << false
                                            << QStringList() << int(Rest::Bad);
    }

    void split() {
        QFETCH(QString, buffer);
        QFETCH(bool, final);
        QFETCH(QStringList, messages);
        QFETCH(int, rest);
        const SplitResult result = splitConsoleMessages(buffer, final);
        QCOMPARE(result.messages, messages);
        QCOMPARE(int(result.rest), rest);
        QCOMPARE(result.consumed, messages.join(QString()).size());
        QCOMPARE(result.problem.isEmpty(), result.rest != Rest::Bad);
    }

    // A stream cut at any character: what the first part gives plus what the rest gives is the whole.
    void cutAnywhere() {
        const QStringList sent =
            wire({"F|3|", "S|" STAMP "|3|N|12/6/2026 9:00:00 AM|12/6/2026 10:30:00 AM|0|",
                  "O|10|80|21|23|25|110|1080|119|1027|194|0|Blocked by the teacher|True|", "S",
                  "S|" STAMP "|2|True|2|08:00 AM|09:00 AM|2|62|0|10:00 PM|02:00 AM|3|0|2|0|",
                  "S|" STAMP "|3|", "F|7|", "P|2|a.org|b.org/x|", "B|0|", "L|True|", "O|1|80|m|", "T"});
        const QString stream = sent.join(QString());
        for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
            const SplitResult first = splitConsoleMessages(QStringView(stream).first(cut), false);
            QVERIFY2(first.rest != Rest::Bad, qPrintable(QString::number(cut)));
            const SplitResult second = splitConsoleMessages(QStringView(stream).sliced(first.consumed), true);
            QCOMPARE(second.rest, Rest::Empty);
            QCOMPARE(first.messages + second.messages, sent);
        }
    }
};

QTEST_APPLESS_MAIN(TestConsoleSplitter)
#include "tst_consolesplitter.moc"
