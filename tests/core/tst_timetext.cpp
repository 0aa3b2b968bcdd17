#include "core/startup/TimeText.h"

#include <QLocale>
#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;

class TestTimeText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void text_data();
    void text();
};

void TestTimeText::initTestCase() {
    // AM/PM must stay English whatever the user's locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

// Each form: a moment, its text, and whether reading the text gives the moment back.
void TestTimeText::text_data() {
    QTest::addColumn<QString>("form");
    QTest::addColumn<QDateTime>("at");
    QTest::addColumn<QString>("text");
    const QDate day(2026, 12, 6);
    const auto row = [&](const char* name, const char* form, QTime time, const QString& text) {
        QTest::newRow(name) << QString::fromLatin1(form) << QDateTime(day, time) << text;
    };
    row("status stamp", "status", QTime(23, 59, 59), u"06/12/26 11:59:59 PM"_s);
    row("schedule midnight", "schedule", QTime(0, 0), u"12:00 AM"_s);
    row("schedule in lower case", "schedule", QTime(23, 59), u"11:59 pm"_s);
    row("timer period", "period", QTime(1, 30), u"01:30"_s);
    QTest::newRow("timer period not understood") << u"period"_s << QDateTime() << u"1h30"_s;
    row("stored", "stored", QTime(10, 0, 5), u"2026-12-06 10:00:05"_s);
    row("stored with T", "stored", QTime(10, 0, 5), u"2026-12-06T10:00:05"_s);
    row("stored without seconds", "stored", QTime(10, 0), u"2026-12-06 10:00"_s);
    QTest::newRow("stored not understood") << u"stored"_s << QDateTime() << u"yesterday"_s;
}

void TestTimeText::text() {
    QFETCH(QString, form);
    QFETCH(QDateTime, at);
    QFETCH(QString, text);
    if (form == u"status")
        QCOMPARE(TimeText::statusStamp(at), text);
    else if (form == u"schedule")
        QCOMPARE(TimeText::parseScheduleTime(text), at.time());
    else if (form == u"period") {
        QCOMPARE(TimeText::parseTimerPeriod(text), at.isValid() ? at.time() : QTime());
        if (at.isValid())
            QCOMPARE(TimeText::timerPeriod(at.time()), text);
    } else {
        QCOMPARE(TimeText::parseStoredDateTime(text), at);
        if (at.isValid())
            QCOMPARE(TimeText::parseStoredDateTime(TimeText::storedDateTime(at)), at);
    }
}

QTEST_GUILESS_MAIN(TestTimeText)
#include "tst_timetext.moc"
