#include "LinkHarness.h"
#include "SimulatedClient.h"
#include "console/Keys.h"
#include "lists/GroupUrlList.h"
#include "lists/ProgramCatalogue.h"
#include "lists/UrlCatalogue.h"
#include "options/AutoStartSwitch.h"
#include "options/OptionsModel.h"
#include "options/TraySwitch.h"

#include <QTest>

using namespace kestrava;

namespace {

struct Tray final : TraySwitch {
    bool visible = true;
    bool isTrayIconVisible() const override { return visible; }
    void setTrayIconVisible(bool on) override { visible = on; }
};

struct AutoStart final : AutoStartSwitch {
    bool set = false;
    bool isAutoStartSet() const override { return set; }
    void setAutoStart(bool on) override { set = on; }
};

QString groupKey(const char* name) {
    return Keys::Make_Group_Key(QLatin1String(name));
}

// Groups Lab (PC-A1, PC-A2), Office (PC-B1) and Empty (PC-E1, never connected), and PC-R1 under the
// root. x.com and Calc.exe are on the lists of Lab and Office, y.com and Word.exe on Lab's only.
struct Fixture {
    LinkHarness link;
    SimulatedClient* a1 = nullptr;
    SimulatedClient* a2 = nullptr;
    SimulatedClient* b1 = nullptr;
    SimulatedClient* r1 = nullptr;

    Fixture() {
        Database& db = link.db();
        db.transaction([&] {
            for (const char* group : {"Lab", "Office", "Empty"})
                db.exec(QStringLiteral("INSERT INTO Group_Table(Group_Key, Group_Name) VALUES(?,?)"),
                        {groupKey(group), QLatin1String(group)});
            const auto system = [&](const char* id, const char* name, const char* group) {
                db.exec(
                    QStringLiteral("INSERT INTO System_Table(System_Key, System_Name, Group_ID) VALUES(?,?, "
                                   "coalesce((SELECT Group_ID FROM Group_Table WHERE Group_Name=?),0))"),
                    {Keys::Make_System_Key(QLatin1String(id), QLatin1String(name)), QLatin1String(name),
                     QLatin1String(group)});
            };
            system("a1", "PC-A1", "Lab");
            system("a2", "PC-A2", "Lab");
            system("b1", "PC-B1", "Office");
            system("e1", "PC-E1", "Empty");
            system("r1", "PC-R1", "");
            db.exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES('x.com'),('y.com')"));
            db.exec(QStringLiteral("INSERT INTO Program_Table(Program) VALUES('Calc.exe'),('Word.exe')"));
            const auto list = [&](const char* table, const char* column, const char* catalogue,
                                  const char* name, const char* entry, const char* group) {
                db.exec(
                    QStringLiteral("INSERT INTO %1(Group_ID,%2) SELECT g.Group_ID, c.%2 FROM Group_Table g, "
                                   "%3 c WHERE g.Group_Name=? AND c.%4=?")
                        .arg(QLatin1String(table), QLatin1String(column), QLatin1String(catalogue),
                             QLatin1String(name)),
                    {QLatin1String(group), QLatin1String(entry)});
            };
            for (const char* group : {"Lab", "Office"}) {
                list("Group_URL_Table", "URL_ID", "DNS_Lookup_Table", "URL", "x.com", group);
                list("Group_Program_Table", "Program_ID", "Program_Table", "Program", "Calc.exe", group);
            }
            list("Group_URL_Table", "URL_ID", "DNS_Lookup_Table", "URL", "y.com", "Lab");
            list("Group_Program_Table", "Program_ID", "Program_Table", "Program", "Word.exe", "Lab");
        });
        link.loadTree();
        a1 = link.connectIdentified(QStringLiteral("a1"), QStringLiteral("PC-A1"));
        a2 = link.connectIdentified(QStringLiteral("a2"), QStringLiteral("PC-A2"));
        b1 = link.connectIdentified(QStringLiteral("b1"), QStringLiteral("PC-B1"));
        r1 = link.connectIdentified(QStringLiteral("r1"), QStringLiteral("PC-R1"));
    }

    // What the client received before a probe sent after everything else; the probe itself is dropped.
    QStringList receivedBeforeProbe(SimulatedClient* client, const char* id, const char* name) {
        link.connections().Send_Data_To_System(Keys::Make_System_Key(QLatin1String(id), QLatin1String(name)),
                                               QStringLiteral("V"));
        if (!QTest::qWaitFor([&] { return client->arrivals().contains(QStringLiteral("V")); }, 5000))
            return {QStringLiteral("no probe")};
        QStringList shown = LinkHarness::shown(client);
        shown.removeLast();
        return shown;
    }
};

} // namespace

class TestListSending : public QObject {
    Q_OBJECT
private slots:
    void deletedUrlSendsEveryGroupsList();
    void deletedProgramSendsEveryGroupsList();
    void movedUrlSendsEditedGroupOnly();
    void additionsAloneSendNothing();
    void optionsApplySendsToAllConnected();
};

void TestListSending::deletedUrlSendsEveryGroupsList() {
    Fixture f;
    QVERIFY(f.a1 && f.a2 && f.b1 && f.r1);
    UrlCatalogue catalogue(f.link.db());
    catalogue.load();
    catalogue.removeRows({int(catalogue.entries().indexOf(QStringLiteral("x.com")))});
    QCOMPARE(catalogue.keyToSendOnClose(), Keys::rootKey());
    f.link.messenger().Enumerate_Childs_And_Send_URL(catalogue.keyToSendOnClose());

    const QStringList lab{QStringLiteral("P|1|y.com|")};
    QCOMPARE(f.receivedBeforeProbe(f.a1, "a1", "PC-A1"), lab);
    QCOMPARE(f.receivedBeforeProbe(f.a2, "a2", "PC-A2"), lab);
    QCOMPARE(f.receivedBeforeProbe(f.b1, "b1", "PC-B1"), QStringList{QStringLiteral("P|0|")});
    // A system directly under the root belongs to no group and gets no white list.
    QCOMPARE(f.receivedBeforeProbe(f.r1, "r1", "PC-R1"), QStringList{});
}

void TestListSending::deletedProgramSendsEveryGroupsList() {
    Fixture f;
    QVERIFY(f.a1 && f.a2 && f.b1 && f.r1);
    ProgramCatalogue catalogue(f.link.db());
    catalogue.load();
    catalogue.removeRows({int(catalogue.entries().indexOf(QStringLiteral("Calc.exe")))});
    f.link.messenger().Enumerate_Childs_And_Send_Programs(catalogue.keyToSendOnClose());

    const QStringList lab{QStringLiteral("B|1|Word.exe|")};
    QCOMPARE(f.receivedBeforeProbe(f.a1, "a1", "PC-A1"), lab);
    QCOMPARE(f.receivedBeforeProbe(f.a2, "a2", "PC-A2"), lab);
    QCOMPARE(f.receivedBeforeProbe(f.b1, "b1", "PC-B1"), QStringList{QStringLiteral("B|0|")});
    QCOMPARE(f.receivedBeforeProbe(f.r1, "r1", "PC-R1"), QStringList{});
}

void TestListSending::movedUrlSendsEditedGroupOnly() {
    Fixture f;
    QVERIFY(f.a1 && f.b1);
    GroupUrlList list(f.link.db());
    list.setGroupKey(groupKey("Office"));
    list.Load_White_List();
    QCOMPARE(list.available(), QStringList{QStringLiteral("y.com")});
    list.moveTo({0});
    QCOMPARE(list.keyToSendOnClose(), groupKey("Office"));
    f.link.messenger().Enumerate_Childs_And_Send_URL(list.keyToSendOnClose());

    QCOMPARE(f.receivedBeforeProbe(f.b1, "b1", "PC-B1"), QStringList{QStringLiteral("P|2|x.com|y.com|")});
    QCOMPARE(f.receivedBeforeProbe(f.a1, "a1", "PC-A1"), QStringList{});
}

void TestListSending::additionsAloneSendNothing() {
    Fixture f;
    UrlCatalogue urls(f.link.db());
    urls.load();
    QCOMPARE(urls.add(QStringLiteral("z.com")).outcome, Catalogue::AddOutcome::Added);
    QVERIFY(urls.keyToSendOnClose().isEmpty());
    ProgramCatalogue programs(f.link.db());
    programs.load();
    QCOMPARE(programs.add(QStringLiteral("Paint.exe")).outcome, Catalogue::AddOutcome::Added);
    QVERIFY(programs.keyToSendOnClose().isEmpty());
    GroupUrlList list(f.link.db());
    list.setGroupKey(groupKey("Lab"));
    list.Load_White_List();
    QVERIFY(list.keyToSendOnClose().isEmpty());
}

void TestListSending::optionsApplySendsToAllConnected() {
    Fixture f;
    QVERIFY(f.a1 && f.a2 && f.b1 && f.r1);
    Tray tray;
    AutoStart autoStart;
    OptionsModel model(f.link.db(), tray, autoStart, [&](const QString& message) {
        f.link.connections().Send_Data_To_All_Connected_Systems(message);
    });
    OptionsValues values = model.load();
    values.askPwd = true;
    QVERIFY(model.apply(values).success);
    values.blockMessage = QStringLiteral("Blocked.");
    values.ports[1] = 21;
    QVERIFY(model.apply(values).success);

    const QStringList expected{QStringLiteral("O|10|0|21|0|0|0|0|0|0|0|0|Blocked.|")};
    QCOMPARE(f.receivedBeforeProbe(f.a1, "a1", "PC-A1"), expected);
    QCOMPARE(f.receivedBeforeProbe(f.a2, "a2", "PC-A2"), expected);
    QCOMPARE(f.receivedBeforeProbe(f.b1, "b1", "PC-B1"), expected);
    QCOMPARE(f.receivedBeforeProbe(f.r1, "r1", "PC-R1"), expected);
}

QTEST_GUILESS_MAIN(TestListSending)
#include "tst_listsending.moc"
