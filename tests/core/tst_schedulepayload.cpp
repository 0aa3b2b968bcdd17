#include "PolicyRows.h"
#include "TempDatabase.h"
#include "console/Keys.h"
#include "policy/SchedulePayload.h"
#include "protocol/Fields.h"
#include "startup/Clock.h"

#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;

namespace {

// Expected payloads are written with '|' for the separator.
QString wire(QString text) {
    return text.replace(QLatin1Char('|'), kFieldSeparator);
}

const QDateTime kTen(QDate(2026, 3, 12), QTime(10, 0, 0));

struct Policy {
    int scheduleType = 0;
    bool onInternet = false;
    bool blockInternet = false;
    QString timerType;
    QString timerStart;
    QString timerPeriod;
};

void writePolicy(Database& db, const QString& table, const QString& keyColumn, const QString& key,
                 const Policy& policy) {
    db.exec(QStringLiteral("UPDATE %1 SET Schedule_Type=?, OnInternet=?, Block_Internet=?, Timer_Type=?, "
                           "Timer_Starttime=?, Timer_Period=? WHERE %2=?")
                .arg(table, keyColumn),
            {policy.scheduleType, policy.onInternet ? 1 : 0, policy.blockInternet ? 1 : 0,
             policy.timerType.isNull() ? QVariant() : QVariant(policy.timerType),
             policy.timerStart.isNull() ? QVariant() : QVariant(policy.timerStart),
             policy.timerPeriod.isNull() ? QVariant() : QVariant(policy.timerPeriod), key});
}

} // namespace

class TestSchedulePayload : public QObject {
    Q_OBJECT
private slots:
    void payload_data();
    void payload();
    void notASystemKeyIsEmpty_data();
    void notASystemKeyIsEmpty();
    void systemWithoutGoverningRowIsEmpty();
    void followingSystemIgnoresItsOwnColumns();
    void stampCrossesMidnight();
    void keyMatchesRegardlessOfCase();
    void databaseErrorReachesCaller();
};

void TestSchedulePayload::payload_data() {
    QTest::addColumn<bool>("systemSource");
    QTest::addColumn<int>("scheduleType");
    QTest::addColumn<bool>("onInternet");
    QTest::addColumn<bool>("blockInternet");
    QTest::addColumn<QString>("timerType");
    QTest::addColumn<QString>("timerStart");
    QTest::addColumn<QString>("timerPeriod");
    QTest::addColumn<QStringList>("ranges");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected");

    const QString start = QStringLiteral("2026-03-12 10:00:00");
    const QString p130 = QStringLiteral("01:30");
    const QString none;
    const QStringList noRanges;
    const QString stamp = QStringLiteral("|3/12/2026 10:00:02 AM|");

    QTest::newRow("system, no policy")
        << true << 0 << false << false << none << none << none << noRanges << kTen << stamp + u"0|"_s;
    QTest::newRow("group, no policy")
        << false << 0 << true << true << none << none << none << noRanges << kTen << stamp + u"0|"_s;
    QTest::newRow("system, internet on")
        << true << 1 << true << false << none << none << none << noRanges << kTen << stamp + u"1|True|0|"_s;
    QTest::newRow("group, internet off")
        << false << 1 << false << true << none << none << none << noRanges << kTen << stamp + u"1|False|0|"_s;

    QTest::newRow("system, two weekly ranges")
        << true << 2 << false << true << none << none << none
        << QStringList{u"09:00 AM,05:00 PM,2,34,0"_s, u"10:00 PM,11:00 PM,2,34,0"_s} << kTen
        << stamp + u"2|True|2|09:00 AM|05:00 PM|2|34|0|10:00 PM|11:00 PM|2|34|0|0|"_s;
    QTest::newRow("group, one monthly range") << false << 2 << false << false << none << none << none
                                              << QStringList{u"08:00 AM,12:00 PM,3,0,2049"_s} << kTen
                                              << stamp + u"2|False|1|08:00 AM|12:00 PM|3|0|2049|0|"_s;
    QTest::newRow("group, daily range written without masks")
        << false << 2 << false << true << none << none << none << QStringList{u"07:30 AM,08:15 AM,1"_s}
        << kTen << stamp + u"2|True|1|07:30 AM|08:15 AM|1|0|0|0|"_s;
    QTest::newRow("system, no ranges, block true") << true << 2 << false << true << none << none << none
                                                   << noRanges << kTen << stamp + u"2|True|0|0|0|"_s;
    QTest::newRow("system, no ranges, block false") << true << 2 << true << false << none << none << none
                                                    << noRanges << kTen << stamp + u"2|False|0|0|0|"_s;
    QTest::newRow("group, no ranges: three zeros without block")
        << false << 2 << false << true << none << none << none << noRanges << kTen << stamp + u"2|0|0|0|"_s;

    const QString running = QStringLiteral("3/12/2026 10:00:00 AM|3/12/2026 11:30:00 AM|0|");
    QTest::newRow("ON timer, a second before start")
        << true << 3 << false << false << u"N"_s << start << p130 << noRanges << kTen.addSecs(-1)
        << u"|3/12/2026 10:00:01 AM|1|False|0|"_s;
    QTest::newRow("ON timer, at start") << true << 3 << false << false << u"N"_s << start << p130 << noRanges
                                        << kTen << stamp + u"3|N|"_s + running;
    QTest::newRow("ON timer, last second")
        << false << 3 << false << false << u"N"_s << start << p130 << noRanges
        << QDateTime(QDate(2026, 3, 12), QTime(11, 29, 59)) << u"|3/12/2026 11:30:01 AM|3|N|"_s + running;
    QTest::newRow("ON timer, at end")
        << false << 3 << true << false << u"N"_s << start << p130 << noRanges
        << QDateTime(QDate(2026, 3, 12), QTime(11, 30, 0)) << u"|3/12/2026 11:30:02 AM|1|False|0|"_s;
    QTest::newRow("OFF timer, running") << true << 3 << false << false << u"F"_s << start << p130 << noRanges
                                        << kTen.addSecs(60) << u"|3/12/2026 10:01:02 AM|3|F|"_s + running;
    QTest::newRow("OFF timer, at end")
        << true << 3 << false << false << u"F"_s << start << p130 << noRanges
        << QDateTime(QDate(2026, 3, 12), QTime(11, 30, 0)) << u"|3/12/2026 11:30:02 AM|1|True|0|"_s;
    QTest::newRow("OFF timer of 00:00 is over at once")
        << true << 3 << false << false << u"F"_s << start << u"00:00"_s << noRanges << kTen
        << stamp + u"1|True|0|"_s;
    QTest::newRow("other timer type, over")
        << true << 3 << false << false << u"X"_s << start << p130 << noRanges << kTen.addSecs(7200)
        << u"|3/12/2026 12:00:02 PM|3|"_s;
    QTest::newRow("other timer type, running") << false << 3 << false << false << u"X"_s << start << p130
                                               << noRanges << kTen << stamp + u"3|X|"_s + running;
    QTest::newRow("timer period with seconds")
        << true << 3 << false << false << u"N"_s << start << u"01:30:00"_s << noRanges << kTen
        << stamp + u"3|N|"_s + running;
    QTest::newRow("timer across midnight")
        << true << 3 << false << false << u"N"_s << u"2026-03-12 23:00:00"_s << u"02:00"_s << noRanges
        << QDateTime(QDate(2026, 3, 13), QTime(0, 30, 0))
        << u"|3/13/2026 12:30:02 AM|3|N|3/12/2026 11:00:00 PM|3/13/2026 1:00:00 AM|0|"_s;
    QTest::newRow("timer never started") << true << 3 << false << false << u"N"_s << none << none << noRanges
                                         << kTen << stamp + u"1|False|0|"_s;
    QTest::newRow("unknown schedule type") << true << 4 << true << true << u"N"_s << start << p130
                                           << QStringList{u"09:00 AM,05:00 PM,1"_s} << kTen << u""_s;
}

void TestSchedulePayload::payload() {
    QFETCH(bool, systemSource);
    QFETCH(int, scheduleType);
    QFETCH(bool, onInternet);
    QFETCH(bool, blockInternet);
    QFETCH(QString, timerType);
    QFETCH(QString, timerStart);
    QFETCH(QString, timerPeriod);
    QFETCH(QStringList, ranges);
    QFETCH(QDateTime, now);
    QFETCH(QString, expected);

    TempDatabase temp;
    Database& db = temp.db();
    const int groupId = PolicyRows::addGroup(db, QStringLiteral("Lab"));
    const QString key =
        PolicyRows::addSystem(db, QStringLiteral("ID1"), QStringLiteral("PC1"), groupId, systemSource);
    const Policy policy{scheduleType, onInternet, blockInternet, timerType, timerStart, timerPeriod};
    // The side that does not govern holds other values, which must not leak into the payload.
    const Policy other{
        1, true, true, QStringLiteral("F"), QStringLiteral("2026-03-12 09:00:00"), QStringLiteral("05:00")};
    writePolicy(db, QStringLiteral("System_Table"), QStringLiteral("System_Key"), key,
                systemSource ? policy : other);
    writePolicy(db, QStringLiteral("Group_Table"), QStringLiteral("Group_ID"), QString::number(groupId),
                systemSource ? other : policy);
    const int systemId = PolicyRows::systemId(db, key);
    for (const QString& range : ranges) {
        if (systemSource)
            PolicyRows::addSystemRange(db, systemId, range);
        else
            PolicyRows::addGroupRange(db, groupId, range);
    }
    if (systemSource)
        PolicyRows::addGroupRange(db, groupId, QStringLiteral("01:00 AM,02:00 AM,1"));
    else
        PolicyRows::addSystemRange(db, systemId, QStringLiteral("01:00 AM,02:00 AM,1"));

    const FixedClock clock(now);
    QCOMPARE(Get_System_Schedule(db, clock, key), wire(expected));
}

void TestSchedulePayload::notASystemKeyIsEmpty_data() {
    QTest::addColumn<QString>("key");
    QTest::newRow("group") << Keys::Make_Group_Key(QStringLiteral("Lab"));
    QTest::newRow("root") << Keys::rootKey();
    QTest::newRow("empty") << QString();
}

void TestSchedulePayload::notASystemKeyIsEmpty() {
    QFETCH(QString, key);
    TempDatabase temp;
    const int groupId = PolicyRows::addGroup(temp.db(), QStringLiteral("Lab"));
    temp.db().exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=1, OnInternet=1 WHERE Group_ID=?"),
                   {groupId});
    QCOMPARE(Get_System_Schedule(temp.db(), FixedClock(kTen), key), QString());
}

void TestSchedulePayload::systemWithoutGoverningRowIsEmpty() {
    TempDatabase temp;
    Database& db = temp.db();
    const FixedClock clock(kTen);
    QCOMPARE(Get_System_Schedule(db, clock, Keys::Make_System_Key(QStringLiteral("X"), QStringLiteral("Y"))),
             QString());
    const QString underRoot = PolicyRows::addSystem(db, QStringLiteral("ID2"), QStringLiteral("PC2"), 0);
    QCOMPARE(Get_System_Schedule(db, clock, underRoot), QString());
    const int groupId = PolicyRows::addGroup(db, QStringLiteral("Gone"));
    const QString orphan = PolicyRows::addSystem(db, QStringLiteral("ID3"), QStringLiteral("PC3"), groupId);
    QCOMPARE(Get_System_Schedule(db, clock, orphan), wire(QStringLiteral("|3/12/2026 10:00:02 AM|0|")));
    db.exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_ID=?"), {groupId});
    QCOMPARE(Get_System_Schedule(db, clock, orphan), QString());
}

void TestSchedulePayload::followingSystemIgnoresItsOwnColumns() {
    TempDatabase temp;
    Database& db = temp.db();
    const int groupId = PolicyRows::addGroup(db, QStringLiteral("Lab"));
    const QString key = PolicyRows::addSystem(db, QStringLiteral("ID1"), QStringLiteral("PC1"), groupId);
    db.exec(QStringLiteral("UPDATE System_Table SET Schedule_Type=1, OnInternet=1"));
    db.exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=1, OnInternet=0"));
    QCOMPARE(Get_System_Schedule(db, FixedClock(kTen), key),
             wire(QStringLiteral("|3/12/2026 10:00:02 AM|1|False|0|")));
    db.exec(QStringLiteral("UPDATE System_Table SET Apply_Systemwise_Settings=1"));
    QCOMPARE(Get_System_Schedule(db, FixedClock(kTen), key),
             wire(QStringLiteral("|3/12/2026 10:00:02 AM|1|True|0|")));
}

void TestSchedulePayload::stampCrossesMidnight() {
    TempDatabase temp;
    const int groupId = PolicyRows::addGroup(temp.db(), QStringLiteral("Lab"));
    const QString key =
        PolicyRows::addSystem(temp.db(), QStringLiteral("ID1"), QStringLiteral("PC1"), groupId);
    const FixedClock clock(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)));
    QCOMPARE(Get_System_Schedule(temp.db(), clock, key), wire(QStringLiteral("|1/1/2027 12:00:01 AM|0|")));
}

void TestSchedulePayload::keyMatchesRegardlessOfCase() {
    TempDatabase temp;
    const QString key =
        PolicyRows::addSystem(temp.db(), QStringLiteral("Id1"), QStringLiteral("Pc1"), 0, true);
    QCOMPARE(Get_System_Schedule(temp.db(), FixedClock(kTen),
                                 Keys::Make_System_Key(QStringLiteral("ID1"), QStringLiteral("PC1"))),
             wire(QStringLiteral("|3/12/2026 10:00:02 AM|0|")));
}

void TestSchedulePayload::databaseErrorReachesCaller() {
    TempDatabase temp;
    Database& db = temp.db();
    const QString key = PolicyRows::addSystem(db, QStringLiteral("ID1"), QStringLiteral("PC1"), 0, true);
    db.exec(QStringLiteral("UPDATE System_Table SET Schedule_Type=2"));
    db.exec(QStringLiteral("DROP TABLE System_Scheduler_Table"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, Get_System_Schedule(db, FixedClock(kTen), key));
}

QTEST_GUILESS_MAIN(TestSchedulePayload)
#include "tst_schedulepayload.moc"
