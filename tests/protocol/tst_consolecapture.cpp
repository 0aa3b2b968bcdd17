#include "PolicyRows.h"
#include "TempDatabase.h"
#include "agent/policy/InternetDecision.h"
#include "core/console/Keys.h"
#include "core/lists/ProgramListPayload.h"
#include "core/lists/UrlListPayload.h"
#include "core/options/SettingsPayload.h"
#include "core/policy/SchedulePayload.h"
#include "core/startup/Clock.h"
#include "core/startup/LocalTimes.h"
#include "protocol/ConsoleOrder.h"
#include "protocol/Fields.h"
#include "protocol/ListOrders.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;

// What the console sends over varied database states, and what the agent makes of it, against a
// recording taken from an earlier build: the bytes on the wire must not change.
class TestConsoleCapture : public QObject {
    Q_OBJECT
private slots:
    void replay_data();
    void replay();
};

namespace {

template <typename T, std::size_t N> const T& pick(QRandomGenerator& random, const T (&pool)[N]) {
    return pool[random.bounded(int(N))];
}

// The agent's view of one order: refused with its reason, or taken, with the internet state for a schedule.
QString agentView(const QString& message) {
    const OrderParse parse = parseOrder(message);
    if (!parse.order)
        return QStringLiteral("refused ") + parse.error;
    if (parse.order->kind != MessageKind::Schedule)
        return QStringLiteral("taken");
    const Schedule& schedule = parse.order->schedule;
    const agent::Decision decision = agent::decide(schedule, schedule.stamp.addSecs(-2));
    return QStringLiteral("imposed %1 on %2 next %3")
        .arg(decision.imposed)
        .arg(decision.internetOn)
        .arg(decision.nextChange ? decision.nextChange->toString(Qt::ISODate) : QStringLiteral("-"));
}

// One database state drawn from the case's own seed, its description and the messages for it.
QString capture(int index) {
    QRandomGenerator random(quint32(index) + 1);
    static const char* const kTimes[] = {"12:00 AM", "07:30 AM", "09:00 AM", "11:59 AM",
                                         "12:00 PM", "05:00 PM", "10:00 PM", "11:59 PM"};
    static const char* const kTimerTypes[] = {"N", "F", "X", ""};
    static const char* const kPeriods[] = {"00:00", "01:30", "00:45", "02:00:00", "23:59"};
    static const int kOffsets[] = {-60, 0, 1800, 5399, 5400, 10800, 86400};
    static const int kPorts[] = {0, 21, 80, 443, 8080, 65535};
    static const char* const kMessages[] = {"", "Blocked", "Blocked: \xc3\xa9t\xc3\xa9 \xe2\x82\xac",
                                            " spaced "};
    static const char* const kUrls[] = {"wikipedia.org", "news.example.com/path", "a.b.c:8080", " pad.org ",
                                        "\xc3\xa9"
                                        "cole.fr"};
    static const char* const kPrograms[] = {"Game Launcher.exe", "chat.EXE", "steam", "x y"};

    TempDatabase temp;
    Database& db = temp.db();
    const int groupId = PolicyRows::addGroup(db, QStringLiteral("Lab"));
    const bool own = random.bounded(2);
    const QString key = PolicyRows::addSystem(db, QStringLiteral("ID1"), QStringLiteral("PC1"), groupId, own);
    const QString table = own ? QStringLiteral("System_Table") : QStringLiteral("Group_Table");
    const int owner = own ? PolicyRows::systemId(db, key) : groupId;
    const int type = random.bounded(5);
    const bool onInternet = random.bounded(2), blockInternet = random.bounded(2);
    const QString timerType = QString::fromUtf8(pick(random, kTimerTypes));
    const bool started = random.bounded(4) != 0;
    const QString period = QString::fromLatin1(pick(random, kPeriods));
    const QDateTime start = LocalTimes::at(QDate(2026, 1, 1).addDays(random.bounded(365)),
                                           QTime(random.bounded(24), random.bounded(4) * 15));
    const QDateTime now = LocalTimes::addSecs(start, pick(random, kOffsets));
    db.exec(QStringLiteral("UPDATE %1 SET Schedule_Type=?, OnInternet=?, Block_Internet=?, Timer_Type=?, "
                           "Timer_Starttime=?, Timer_Period=?, Blank_Screen=?")
                .arg(table),
            {type, int(onInternet), int(blockInternet),
             timerType.isEmpty() ? QVariant() : QVariant(timerType),
             started ? QVariant(start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))) : QVariant(),
             started ? QVariant(period) : QVariant(), random.bounded(2)});
    QString description = u"%1 type %2 on %3 block %4 timer '%5' %6 %7 now %8"_s.arg(
        own ? u"system"_s : u"group"_s, QString::number(type), QString::number(onInternet),
        QString::number(blockInternet), timerType, started ? start.toString(u"yyyy-MM-dd HH:mm"_s) : u"-"_s,
        period, now.toString(u"yyyy-MM-dd HH:mm:ss"_s));
    const int ranges = random.bounded(4);
    for (int i = 0; i < ranges; ++i) {
        const QString range =
            QStringLiteral("%1,%2,%3,%4,%5")
                .arg(QLatin1String(pick(random, kTimes)), QLatin1String(pick(random, kTimes)))
                .arg(1 + random.bounded(3))
                .arg(random.bounded(128))
                .arg(random.bounded(4096));
        own ? PolicyRows::addSystemRange(db, owner, range) : PolicyRows::addGroupRange(db, owner, range);
        description += QLatin1Char(' ') + range;
    }
    if (random.bounded(10) == 0) {
        db.exec(QStringLiteral("DELETE FROM Settings_Table"));
        description += QStringLiteral(" no settings");
    } else {
        QVariantList values{QString::fromUtf8(pick(random, kMessages))};
        for (int i = 0; i < 10; ++i)
            values << pick(random, kPorts);
        db.exec(
            QStringLiteral("UPDATE Settings_Table SET AppBlockerMessage=?, HTTP=?, FTP=?, Telnet=?, SMTP=?, "
                           "POP3=?, Socks=?, News=?, ICQ=?, IRC=?, OtherPort=?"),
            values);
    }
    // White-list entries, then block-list entries, of the group.
    const auto addEntries = [&](const auto& pool, const QString& table, const QString& column) {
        for (int i = random.bounded(4); i > 0; --i) {
            db.exec(u"INSERT INTO %1 (%2) VALUES (?)"_s.arg(table, column),
                    {QString::fromUtf8(pick(random, pool))});
            db.exec(u"INSERT INTO Group_%1_Table (Group_ID, %1_ID) SELECT ?, max(%1_ID) FROM %2"_s.arg(column,
                                                                                                       table),
                    {groupId});
        }
    };
    addEntries(kUrls, u"DNS_Lookup_Table"_s, u"URL"_s);
    addEntries(kPrograms, u"Program_Table"_s, u"Program"_s);

    const QString groupKey = PolicyRows::groupKey(QStringLiteral("Lab"));
    const QStringList messages{
        encodeSchedule(Get_System_Schedule(db, FixedClock(now), key)),
        encodeSettings(Get_The_Settings(db, key)),
        encodeSettings(Get_The_Settings(db, groupKey)),
        encodeSettings(Get_The_Settings(db, Keys::rootKey())),
        encodeWhiteList(Get_URL_List(db, key)),
        encodeBlockList(Get_Program_List(db, groupKey)),
    };
    QStringList line{description};
    for (const QString& message : messages)
        line << QString(message).replace(kFieldSeparator, u'|') << agentView(message);
    return line.join(QLatin1Char('\t'));
}

} // namespace

void TestConsoleCapture::replay_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("recorded");
    QFile in(QStringLiteral(QT_TESTCASE_SOURCEDIR "/protocol/console-capture.txt"));
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = 0; i < lines.size(); ++i)
        QTest::newRow(qPrintable(QString::number(i))) << i << lines[i];
}

// One line per database state; a deliberate change of the wire text takes the new line this prints.
void TestConsoleCapture::replay() {
    QFETCH(int, index);
    QFETCH(QString, recorded);
    QCOMPARE(capture(index), recorded);
}

QTEST_GUILESS_MAIN(TestConsoleCapture)
#include "tst_consolecapture.moc"
