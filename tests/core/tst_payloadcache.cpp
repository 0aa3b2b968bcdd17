#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/lists/ProgramListPayload.h"
#include "core/lists/UrlListPayload.h"
#include "core/options/SettingsPayload.h"
#include "core/policy/SchedulePayload.h"
#include "core/startup/Clock.h"
#include "core/store/Database.h"
#include "protocol/ListOrders.h"

#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;

// Payloads are kept between requests; after any change, by the console or by another program, the next
// payload must be the one a connection that kept nothing builds.
class TestPayloadCache : public QObject {
    Q_OBJECT
private slots:
    void init();
    void nextPayloadFollowsChange_data();
    void nextPayloadFollowsChange();

private:
    QStringList payloads(Database& db);

    std::unique_ptr<TempDatabase> m_temp;
    FixedClock m_clock{QDateTime(QDate(2026, 3, 12), QTime(10, 0, 0))};
    int m_g1 = 0, m_g2 = 0;
    QString m_follower, m_own;
};

void TestPayloadCache::init() {
    m_temp = std::make_unique<TempDatabase>();
    Database& db = m_temp->db();
    m_g1 = PolicyRows::addGroup(db, u"G1"_s);
    m_g2 = PolicyRows::addGroup(db, u"G2"_s);
    m_follower = PolicyRows::addSystem(db, u"A"_s, u"PCA"_s, m_g1);
    m_own = PolicyRows::addSystem(db, u"B"_s, u"PCB"_s, m_g1, true);
    db.exec(u"UPDATE Group_Table SET Schedule_Type=1, OnInternet=Group_ID=?"_s, {m_g1});
    db.exec(u"UPDATE System_Table SET Schedule_Type=2 WHERE System_Key=?"_s, {m_own});
    PolicyRows::addSystemRange(db, PolicyRows::systemId(db, m_own), u"08:00 AM,09:00 AM,0"_s);
    db.exec(u"INSERT INTO DNS_Lookup_Table (URL) VALUES ('www.one.com')"_s);
    db.exec(u"INSERT INTO Group_URL_Table (Group_ID, URL_ID) SELECT Group_ID, 1 FROM Group_Table"_s);
    db.exec(u"INSERT INTO Program_Table (Program) VALUES ('one.exe')"_s);
    db.exec(u"INSERT INTO Group_Program_Table (Group_ID, Program_ID) SELECT Group_ID, 1 FROM Group_Table"_s);
}

QStringList TestPayloadCache::payloads(Database& db) {
    QStringList all;
    for (const QString& key : {m_follower, m_own, PolicyRows::groupKey(u"G1"_s)}) {
        all << encodeSchedule(Get_System_Schedule(db, m_clock, key))
            << encodeSettings(Get_The_Settings(db, key)) << encodeWhiteList(Get_URL_List(db, key))
            << encodeBlockList(Get_Program_List(db, key));
    }
    return all;
}

void TestPayloadCache::nextPayloadFollowsChange_data() {
    QTest::addColumn<bool>("outside");
    QTest::addColumn<QStringList>("statements");
    // Every write drops what was kept: one row for each cache, one for a move between groups.
    const QList<std::pair<const char*, QStringList>> changes = {
        {"group policy", {u"UPDATE Group_Table SET Schedule_Type=0 WHERE Group_ID=%G1"_s}},
        {"own range", {u"UPDATE System_Scheduler_Table SET Stop_Time='10:00 AM'"_s}},
        {"ports and message", {u"UPDATE Settings_Table SET HTTP=8080, AppBlockerMessage='Not now'"_s}},
        {"white list",
         {u"INSERT INTO DNS_Lookup_Table (URL) VALUES ('www.two.com')"_s,
          u"INSERT INTO Group_URL_Table (Group_ID, URL_ID) VALUES (%G1, 2)"_s}},
        {"block list", {u"DELETE FROM Group_Program_Table WHERE Group_ID=%G1"_s}},
        {"system moved", {u"UPDATE System_Table SET Group_ID=%G2 WHERE System_Key='%A'"_s}},
        // Payloads asked for while the system was gone are dropped when it is stored again, in any case.
        {"system back after deletion",
         {u"DELETE FROM System_Table WHERE System_Key='%A'"_s, u"ask"_s,
          u"for %a: INSERT INTO System_Table (System_Key, System_Name, Group_ID) VALUES ('%a', 'pca', %G1)"_s}},
    };
    for (const auto& [name, statements] : changes) {
        QTest::addRow("%s, by the console", name) << false << statements;
        QTest::addRow("%s, by another program", name) << true << statements;
    }
}

void TestPayloadCache::nextPayloadFollowsChange() {
    QFETCH(bool, outside);
    QFETCH(QStringList, statements);
    Database& db = m_temp->db();
    Database other;
    other.open(m_temp->path());
    QStringList before = payloads(db);
    QCOMPARE(payloads(db), before);
    for (QString statement : statements) {
        statement.replace(u"%G1"_s, QString::number(m_g1))
            .replace(u"%G2"_s, QString::number(m_g2))
            .replace(u"%A"_s, m_follower)
            .replace(u"%a"_s, Keys::Make_System_Key(u"a"_s, u"pca"_s));
        if (statement == u"ask")
            before = payloads(db);
        else if (statement.startsWith(u"for "))
            (outside ? other : db)
                .execForKey(statement.section(u": "_s, 0, 0).mid(4), statement.section(u": "_s, 1));
        else
            (outside ? other : db).exec(statement);
    }
    const QStringList next = payloads(db);
    QVERIFY(next != before);
    QCOMPARE(next, payloads(other));
}

QTEST_GUILESS_MAIN(TestPayloadCache)
#include "tst_payloadcache.moc"
