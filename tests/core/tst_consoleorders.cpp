#include "PolicyRows.h"
#include "SimulatedClient.h"
#include "TwoGroupScene.h"
#include "core/console/Keys.h"
#include "core/link/ServiceCommands.h"
#include "core/policy/PolicyCommands.h"

#include <QFile>
#include <QMetaEnum>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace kestrava;
using namespace std::chrono_literals;

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

QString keyOf(const TwoGroupScene& s, const QString& name) {
    const QHash<QString, QString> keys = {
        {QStringLiteral("G1"), s.g1Key},
        {QStringLiteral("G2"), s.g2Key},
        {QStringLiteral("A1"), s.a1Key},
        {QStringLiteral("A2"), s.a2Key},
        {QStringLiteral("A3"), s.a3Key},
        {QStringLiteral("a3"), s.a3Key.toLower()},
        {QStringLiteral("B1"), s.b1Key},
        {QStringLiteral("R1"), s.r1Key},
        {QStringLiteral("root"), Keys::rootKey()},
        {QStringLiteral("none"), Keys::Make_Group_Key(QStringLiteral("none"))},
    };
    return keys.value(name);
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

QString outcomeName(PolicyCommands::Outcome outcome) {
    switch (outcome) {
    case PolicyCommands::Outcome::Done:
        return QStringLiteral("Done");
    case PolicyCommands::Outcome::NotApplicable:
        return QStringLiteral("NotApplicable");
    case PolicyCommands::Outcome::OwnerMissing:
        return QStringLiteral("OwnerMissing");
    }
    return QStringLiteral("?");
}

SimulatedClient* clientOf(const TwoGroupScene& s, const QString& name) {
    const QHash<QString, SimulatedClient*> clients = {{QStringLiteral("A1"), s.a1},
                                                      {QStringLiteral("A3"), s.a3},
                                                      {QStringLiteral("B1"), s.b1},
                                                      {QStringLiteral("R1"), s.r1}};
    return clients.value(name);
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
// separator), then
// identifies itself; returns the answers it got, as many as expected.
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
    const QString key = target == kNothing ? QString() : keyOf(s, target);
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
    if (verb == u"message")
        messenger.Enumerate_Childs_And_Send_Message(key, QStringLiteral("V"));
    else if (verb == u"whitelist")
        messenger.Enumerate_Childs_And_Send_URL(key);
    else if (verb == u"blocklist")
        messenger.Enumerate_Childs_And_Send_Programs(key);
    else if (verb == u"schedules")
        messenger.Enumerate_Childs_And_Send_Scheduler(key);
    else if (verb == u"blank" || verb == u"unblank")
        service.blankScreen(key, verb == u"blank");
    else if (verb == u"visible")
        service.makeVisible(key);
    else if (verb == u"invisible")
        service.makeInvisible(key);
    else if (verb == u"terminate")
        service.terminate(key);
    else if (verb == u"uninstall")
        service.uninstall(key);
    else if (verb == u"synchronize")
        return synchronized(service.synchronize(key));
    else if (verb == u"synchronize-while-busy") {
        service.synchronize(key);
        return synchronized(service.synchronize(s.g2Key));
    } else if (verb == u"internet-on" || verb == u"internet-off")
        return outcomeName(policy.setInternet(key, verb == u"internet-on"));
    else if (verb == u"clear")
        return outcomeName(policy.clearInternetSettings(key));
    else if (verb == u"inherit")
        return outcomeName(policy.inheritGroupInternetSettings(key));
    else if (verb == u"set-to-clients")
        return outcomeName(policy.setInternetSettingsToClients(key));
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
