#include "agent/policy/NoticeText.h"

#include <QLocale>
#include <QTest>

using namespace kestrava::agent;

class TestNoticeText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void text_data() {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QDateTime>("next");
        QTest::addColumn<QString>("expected");
        QTest::newRow("today") << false << QDateTime(QDate(2026, 12, 6), QTime(15, 40, 30), Qt::UTC)
                               << "Internet access is off until 3:40 PM";
        QTest::newRow("another day") << true << QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC)
                                     << "Internet access is on until Mon 12/7 8:00 AM";
        QTest::newRow("no change known") << false << QDateTime() << "Internet access is off";
    }

    void text() {
        QFETCH(bool, on);
        QFETCH(QDateTime, next);
        QFETCH(QString, expected);
        const QDateTime now(QDate(2026, 12, 6), QTime(9, 0), Qt::UTC);
        QCOMPARE(internetNotice(on, next.isValid() ? std::optional(next) : std::nullopt, now), expected);
    }
};

QTEST_APPLESS_MAIN(TestNoticeText)
#include "tst_noticetext.moc"
