#include "protocol/ConsoleTimeText.h"

#include <QLocale>
#include <QTest>

using namespace kestrava;

// Range times ("hh:mm AP") are read and written throughout the recording in console-capture.txt.
class TestConsoleTimeText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void dateTimes_data();
    void dateTimes();
    void refused_data();
    void refused();
};

void TestConsoleTimeText::initTestCase() {
    // AM/PM must stay English whatever the user's locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestConsoleTimeText::dateTimes_data() {
    QTest::addColumn<QDateTime>("at");
    QTest::addColumn<QString>("text");
    QTest::newRow("afternoon") << ConsoleTimeText::naive(QDate(2026, 12, 4), QTime(13, 5, 9))
                               << "12/4/2026 1:05:09 PM";
    QTest::newRow("midnight") << ConsoleTimeText::naive(QDate(2027, 1, 1), QTime(0, 0, 1))
                              << "1/1/2027 12:00:01 AM";
    QTest::newRow("noon") << ConsoleTimeText::naive(QDate(2026, 3, 12), QTime(12, 0))
                          << "3/12/2026 12:00:00 PM";
    QTest::newRow("zero date") << ConsoleTimeText::naive(ConsoleTimeText::kZeroDate, QTime(9, 30))
                               << "9:30:00 AM";
}

void TestConsoleTimeText::dateTimes() {
    QFETCH(QDateTime, at);
    QFETCH(QString, text);
    QCOMPARE(ConsoleTimeText::dateTime(at), text);
    QCOMPARE(ConsoleTimeText::dateTime(QDateTime(at.date(), at.time())), text);
    QCOMPARE(ConsoleTimeText::parseDateTime(text), at);
    QCOMPARE(ConsoleTimeText::isTimeAlone(at), !text.contains(u'/'));
}

void TestConsoleTimeText::refused_data() {
    QTest::addColumn<QString>("text");
    for (const char* row : {"", "3/12/2026", "3/12/26 10:00:00 AM", "2/30/2026 10:00:00 AM", "13:00:00 PM",
                            "0:00:00 AM", "10:00:00", "10:00:00 XM", "a/b/cdef 1:00:00 AM"})
        QTest::newRow(row) << QString::fromLatin1(row);
}

void TestConsoleTimeText::refused() {
    QFETCH(QString, text);
    QCOMPARE(ConsoleTimeText::parseDateTime(text), std::nullopt);
    QCOMPARE(ConsoleTimeText::parseRangeTime(text), std::nullopt);
}

QTEST_GUILESS_MAIN(TestConsoleTimeText)
#include "tst_consoletimetext.moc"
