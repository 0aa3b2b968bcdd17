#include "PolicyRows.h"
#include "SimulatedClient.h"
#include "TwoGroupScene.h"
#include "core/console/Keys.h"
#include "core/link/ServiceCommands.h"
#include "core/policy/PolicyCommands.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace kestrava;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

// Which connected systems each order of the console and each request of a client reaches and what each
// of them gets, over real sockets and a real database file. The rows are in console-orders.txt next to this
// file.
class TestConsoleOrders : public QObject {
    Q_OBJECT
private slots:
    void transcript_data();
    void transcript();
};

namespace {

const QLatin1String kNothing("-");

// "G1", "G2", "none": groups; "root"; "A1" and the like: systems, their name "PC" and the identifier; in
// lower case, the key in lower case.
QString keyOf(const QString& name) {
    if (name == u"root")
        return Keys::rootKey();
    if (name.startsWith(u'G') || name == u"none")
        return Keys::Make_Group_Key(name);
    const QString upper = name.toUpper();
    const QString key = Keys::Make_System_Key(upper, QStringLiteral("PC") + upper);
    return name == upper ? key : key.toLower();
}

// Every column of every row a statement gives, joined by commas.
QString answer(Database& db, const QString& sql) {
    QStringList values;
    QSqlQuery query = db.exec(sql);
    while (query.next())
        for (int i = 0; i < query.record().count(); ++i)
            values << query.value(i).toString();
    return values.join(QLatin1Char(','));
}

QStringList policyState(Database& db) {
    QStringList all;
    for (const char* table :
         {"Group_Table", "System_Table", "Group_Scheduler_Table", "System_Scheduler_Table"})
        all << PolicyRows::tableDump(db, QLatin1String(table));
    return all;
}

SimulatedClient* clientOf(const TwoGroupScene& s, const QString& name) {
    return QHash<QString, SimulatedClient*>{
        {u"A1"_s, s.a1}, {u"A3"_s, s.a3}, {u"B1"_s, s.b1}, {u"R1"_s, s.r1}}
        .value(name);
}

// A client's request, followed by a schedule request whose answer shows that the first was handled.
bool request(SimulatedClient* client, const QString& text) {
    const qsizetype before = client->arrivals().size();
    client->sendText(text);
    client->askSchedule();
    return QTest::qWaitFor(
        [&] {
            return client->arrivals().size() > before && client->lastArrival().startsWith(QLatin1Char('S'));
        },
        5000);
}

// A new connection that sends what comes after "after" (client texts split at blanks, '|' for the
// separator), then identifies itself; returns the answers it got, as many as expected.
QString identify(TwoGroupScene& s, const QString& target, const QString& expected) {
    SimulatedClient* client = s.link.connectClient();
    if (!client)
        return QStringLiteral("no connection");
    const QString identifier = target.section(QLatin1Char(' '), 0, 0);
    if (target.contains(QLatin1String(" after ")))
        for (const QString& text : target.section(QLatin1String(" after "), 1).split(QLatin1Char(' ')))
            client->sendText(SimulatedClient::fromDisplayText(text));
    client->identify(identifier, QStringLiteral("PC") + identifier);
    LinkHarness::waitForArrivals(client, int(expected.split(QLatin1Char(';')).size()));
    return LinkHarness::shown(client).join(QLatin1Char(';'));
}

// Runs one order; returns what the call gave back ("-" when it gives nothing).
QString run(TwoGroupScene& s, const QString& verb, const QString& target, const QString& expected) {
    if (verb == u"request") {
        const bool answered =
            request(clientOf(s, target.section(QLatin1Char(' '), 0, 0)), target.section(QLatin1Char(' '), 1));
        return answered ? QString(kNothing) : QStringLiteral("no answer");
    }
    if (verb == u"identify")
        return identify(s, target, expected);
    const QString key = target == kNothing ? QString() : keyOf(target);
    Messenger& messenger = s.link.messenger();
    ServiceCommands service(s.link.db(), s.link.connections(), messenger);
    service.setPauses(20ms, 20ms);
    PolicyCommands policy(s.link.db(), messenger);
    QSignalSpy errors(&service, &ServiceCommands::errorOccurred);
    const auto synchronized = [&](bool started) {
        if (!QTest::qWaitFor([&] { return !service.isBusy(); }, 5000))
            return QStringLiteral("still busy");
        return QLatin1String(started ? "true" : "false") + QLatin1String(errors.isEmpty() ? "" : " error");
    };
    using Outcome = PolicyCommands::Outcome;
    const QHash<QString, std::function<void()>> sends = {
        {u"message"_s, [&] { messenger.Enumerate_Childs_And_Send_Message(key, u"V"_s); }},
        {u"whitelist"_s, [&] { messenger.Enumerate_Childs_And_Send_URL(key); }},
        {u"blocklist"_s, [&] { messenger.Enumerate_Childs_And_Send_Programs(key); }},
        {u"schedules"_s, [&] { messenger.Enumerate_Childs_And_Send_Scheduler(key); }},
        {u"blank"_s, [&] { service.blankScreen(key, true); }},
        {u"unblank"_s, [&] { service.blankScreen(key, false); }},
        {u"visible"_s, [&] { service.makeVisible(key); }},
        {u"invisible"_s, [&] { service.makeInvisible(key); }},
        {u"terminate"_s, [&] { service.terminate(key); }},
        {u"uninstall"_s, [&] { service.uninstall(key); }},
    };
    const QHash<QString, std::function<Outcome()>> commands = {
        {u"internet-on"_s, [&] { return policy.setInternet(key, true); }},
        {u"internet-off"_s, [&] { return policy.setInternet(key, false); }},
        {u"clear"_s, [&] { return policy.clearInternetSettings(key); }},
        {u"inherit"_s, [&] { return policy.inheritGroupInternetSettings(key); }},
        {u"set-to-clients"_s, [&] { return policy.setInternetSettingsToClients(key); }},
    };
    if (sends.contains(verb))
        sends[verb]();
    else if (commands.contains(verb))
        return QStringList{u"Done"_s, u"NotApplicable"_s, u"OwnerMissing"_s}.at(int(commands[verb]()));
    else if (verb == u"synchronize")
        return synchronized(service.synchronize(key));
    else if (verb == u"synchronize-while-busy")
        return synchronized(service.synchronize(key) && service.synchronize(s.g2Key));
    else
        qFatal("unknown order %s", qPrintable(verb));
    return kNothing;
}

} // namespace

void TestConsoleOrders::transcript_data() {
    QTest::addColumn<QStringList>("row");
    QFile in(QStringLiteral(QT_TESTCASE_SOURCEDIR "/core/console-orders.txt"));
    QVERIFY(in.open(QIODevice::ReadOnly));
    QHash<QString, QString> scenes;
    for (const QString& line : QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList row = line.split(QLatin1Char('\t'));
        if (row.first() == u"scene") {
            scenes.insert(row.at(1), row.at(2));
            continue;
        }
        QVERIFY2(row.size() == 9, qPrintable(line));
        // A set-up may start with a named scene: "@name; more statements".
        QString& setUp = row[1];
        if (setUp.startsWith(QLatin1Char('@'))) {
            const qsizetype end = setUp.indexOf(QLatin1Char(';'));
            const QString name = setUp.mid(1, end < 0 ? -1 : end - 1);
            QVERIFY2(scenes.contains(name), qPrintable(name));
            setUp = scenes.value(name) + (end < 0 ? QString() : setUp.mid(end));
        }
        QTest::newRow(qPrintable(row.first())) << row;
    }
}

// Columns: name, set-up statements (";"-separated, "-" for none), order and target, what the order gave
// back, what A1, A3, B1 and R1 received (";"-separated), and checks "SQL => values" joined by " && ".
void TestConsoleOrders::transcript() {
    QFETCH(QStringList, row);
    TwoGroupScene s;
    Database& db = s.link.db();
    if (row.at(1) != kNothing)
        for (const QString& statement : row.at(1).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            db.exec(statement.trimmed());
    // A refused command changes no row.
    const bool refused = row.at(3) == u"NotApplicable" || row.at(3) == u"OwnerMissing";
    const QStringList before = refused ? policyState(db) : QStringList();
    const QString verb = row.at(2).section(QLatin1Char(' '), 0, 0);
    const QString target = row.at(2).section(QLatin1Char(' '), 1);
    const QString returned = run(s, verb, target, row.at(3));
    QCOMPARE(returned, row.at(3));
    if (refused)
        QCOMPARE(policyState(db), before);
    const QList<std::pair<SimulatedClient*, QString>> clients = {
        {s.a1, s.a1Key}, {s.a3, s.a3Key}, {s.b1, s.b1Key}, {s.r1, s.r1Key}};
    for (qsizetype i = 0; i < clients.size(); ++i) {
        const QString expected = row.at(4 + i);
        QCOMPARE(s.received(clients[i].first, clients[i].second),
                 expected == kNothing ? QStringList() : expected.split(QLatin1Char(';')));
    }
    // Every connection stays, the one that identified itself included.
    QCOMPARE(s.link.connections().socketIndexes().size(), std::size_t(verb == u"identify" ? 5 : 4));
    if (row.at(8) == kNothing)
        return;
    for (const QString& check : row.at(8).split(QStringLiteral(" && "))) {
        const QStringList sides = check.split(QStringLiteral(" => "));
        QCOMPARE(answer(db, sides.at(0)), sides.value(1));
    }
}

QTEST_GUILESS_MAIN(TestConsoleOrders)
#include "tst_consoleorders.moc"
