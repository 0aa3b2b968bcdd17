#include "AnsweringQuestions.h"
#include "LinkHarness.h"
#include "PolicyRows.h"
#include "SimulatedClient.h"
#include "core/console/Keys.h"
#include "core/console/SystemListModel.h"
#include "core/management/GroupSystemManager.h"
#include "core/store/DatabaseError.h"

#include <QTest>

using namespace kestrava;

namespace {

// A console link over a database with the groups Labs (two systems, one with settings of its own),
// Office and Empty, and one system under the root.
struct Fixture {
    LinkHarness link;
    SystemListModel list{link.tree()};
    AnsweringQuestions questions;
    GroupSystemManager manager{link.db(), link.tree(), list, questions};
    int labsId = 0, officeId = 0;
    QString pc1, pc2, loose;

    Fixture() {
        labsId = PolicyRows::addGroup(db(), QStringLiteral("Labs"));
        officeId = PolicyRows::addGroup(db(), QStringLiteral("Office"));
        PolicyRows::addGroup(db(), QStringLiteral("Empty"));
        pc1 = PolicyRows::addSystem(db(), QStringLiteral("id1"), QStringLiteral("PC1"), labsId);
        pc2 = PolicyRows::addSystem(db(), QStringLiteral("id2"), QStringLiteral("PC2"), labsId, true);
        loose = PolicyRows::addSystem(db(), QStringLiteral("id3"), QStringLiteral("LOOSE"), 0, true);
        link.loadTree();
        list.Show_Node_In_List(link.tree().root());
        manager.setLink(&link.connections(), &link.messenger());
    }
    Database& db() { return link.db(); }
    TreeNode* node(const QString& key) { return link.tree().Get_Node_Index_From_Key(key); }
    TreeNode* group(const QString& name) { return node(Keys::Make_Group_Key(name)); }
    QVariant systemColumn(const QString& key, const char* column) {
        return db().scalar(
            QStringLiteral("SELECT %1 FROM System_Table WHERE System_Key=?").arg(QLatin1String(column)),
            {key});
    }
    QStringList childTexts(const TreeNode* parent) {
        QStringList out;
        for (const auto& child : parent->children)
            out << child->text;
        return out;
    }
};

} // namespace

class TestGroupSystemManager : public QObject {
    Q_OBJECT
private slots:
    void addNewGroupTakesFirstFreeName_data();
    void addNewGroupTakesFirstFreeName();
    void addNewGroupChangesNothingWhenTheDatabaseFails();
    void rename_data();
    void rename();
    void renamedGroupShowsItsChildrenWithTheNewName();
    void deletion_data();
    void deletion();
    void deletingAGroupMovesItsSystemsToTheRoot_data();
    void deletingAGroupMovesItsSystemsToTheRoot();
    void move_data();
    void move();
    void moveSeveralFromTheBottomUpWithTwoMessagesEach();
    void defaultNamesOnlyForSystems();
};

void TestGroupSystemManager::addNewGroupTakesFirstFreeName_data() {
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first") << QStringList() << QStringLiteral("NewGroup(0)");
    QTest::newRow("after 0 and 1") << QStringList{QStringLiteral("NewGroup(0)"),
                                                  QStringLiteral("NewGroup(1)")}
                                   << QStringLiteral("NewGroup(2)");
    QTest::newRow("gap reused") << QStringList{QStringLiteral("NewGroup(1)")}
                                << QStringLiteral("NewGroup(0)");
    QTest::newRow("case ignored") << QStringList{QStringLiteral("newgroup(0)")}
                                  << QStringLiteral("NewGroup(1)");
}

void TestGroupSystemManager::addNewGroupTakesFirstFreeName() {
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    Fixture f;
    for (const QString& name : existing)
        PolicyRows::addGroup(f.db(), name);
    f.link.loadTree();
    TreeNode* added = f.manager.Add_New_Group();
    QVERIFY(added);
    QCOMPARE(added->key, Keys::Make_Group_Key(expected));
    QCOMPARE(added->parent, f.link.tree().root());
    QCOMPARE(f.db()
                 .scalar(QStringLiteral("SELECT Group_Name FROM Group_Table WHERE Group_Key=?"), {added->key})
                 .toString(),
             expected);
}

void TestGroupSystemManager::addNewGroupChangesNothingWhenTheDatabaseFails() {
    Fixture f;
    f.db().exec(QStringLiteral("DROP TABLE Group_Table"));
    const int before = f.link.tree().count();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, f.manager.Add_New_Group());
    QCOMPARE(f.link.tree().count(), before);
}

void TestGroupSystemManager::rename_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("message");
    const QString unique = QStringLiteral("Group name must be unique..!");
    const QString tooLong = QStringLiteral("Group/System name should be less than 30");
    const QString invalid = QStringLiteral("Invalid Group/System name");
    const QString labs = QStringLiteral("Labs");
    const QString pc1 = QStringLiteral("PC1");
    QTest::newRow("group: new name") << labs << QStringLiteral("Lab rooms") << QString();
    QTest::newRow("group: 30 characters") << labs << QString(30, QLatin1Char('x')) << QString();
    QTest::newRow("group: 31 characters") << labs << QString(31, QLatin1Char('x')) << tooLong;
    QTest::newRow("group: length before apostrophe")
        << labs << QString(30, QLatin1Char('x')) + QLatin1Char('\'') << tooLong;
    QTest::newRow("group: empty") << labs << QString() << QStringLiteral("Group/System name cannot be Null");
    QTest::newRow("group: apostrophe") << labs << QStringLiteral("Bob's") << invalid;
    QTest::newRow("group: quotes and separator")
        << labs << QStringLiteral("\"A\" %1 & co").arg(QChar(0xC7)) << QString();
    QTest::newRow("group: unchanged") << labs << labs << QString();
    QTest::newRow("group: case only") << labs << QStringLiteral("LABS") << QString();
    QTest::newRow("group: another group's") << labs << QStringLiteral("office") << unique;
    QTest::newRow("system: new alias") << pc1 << QStringLiteral("Reception") << QString();
    QTest::newRow("system: same alias again") << pc1 << pc1 << QString();
    QTest::newRow("system: 31 characters") << pc1 << QString(31, QLatin1Char('y')) << tooLong;
    QTest::newRow("system: apostrophe") << pc1 << QStringLiteral("'") << invalid;
    QTest::newRow("system: alias of another system") << pc1 << QStringLiteral("PC2") << QString();
    QTest::newRow("root") << QStringLiteral("Computers") << QStringLiteral("All") << QStringLiteral("-");
}

void TestGroupSystemManager::rename() {
    QFETCH(QString, target);
    QFETCH(QString, newName);
    QFETCH(QString, message);
    Fixture f;
    const bool group = target == QLatin1String("Labs");
    const bool root = message == QLatin1String("-");
    const QString key = group ? Keys::Make_Group_Key(target) : root ? Keys::rootKey() : f.pc1;
    f.list.Show_Node_In_List(group || root ? f.link.tree().root() : f.group(QStringLiteral("Labs")));
    const bool changed = f.manager.Change_Group_Or_System_Name(key, newName, false);
    QCOMPARE(changed, message.isEmpty());
    QCOMPARE(f.questions.shown, message.isEmpty() || root ? QStringList() : QStringList{message});
    const QString stored = changed ? newName : target;
    const QString storedKey = group ? Keys::Make_Group_Key(stored) : key;
    TreeNode* node = f.node(storedKey);
    QVERIFY(node);
    QCOMPARE(node->text, stored);
    if (root)
        return;
    const QString sql = group ? QStringLiteral("SELECT Group_Name FROM Group_Table WHERE Group_Key=?")
                              : QStringLiteral("SELECT System_Name FROM System_Table WHERE System_Key=?");
    QCOMPARE(f.db().scalar(sql, {storedKey}).toString(), stored);
    QCOMPARE(f.list.rowAt(f.list.Get_List_Index_From_Key(storedKey) - 1).text, stored);
    if (group)
        QCOMPARE(node->children.size(), std::size_t(2));
}

void TestGroupSystemManager::renamedGroupShowsItsChildrenWithTheNewName() {
    Fixture f;
    f.list.Show_Node_In_List(f.group(QStringLiteral("Labs")));
    QVERIFY(f.manager.Change_Group_Or_System_Name(Keys::Make_Group_Key(QStringLiteral("Labs")),
                                                  QStringLiteral("Lab rooms"), true));
    QCOMPARE(f.list.count(), 2);
    QCOMPARE(f.list.rowAt(0).group, QStringLiteral("Lab rooms"));
    QCOMPARE(f.list.rowAt(1).group, QStringLiteral("Lab rooms"));
}

void TestGroupSystemManager::deletion_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("question");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("group with systems") << QStringLiteral("Labs") << true
                                        << QStringLiteral("The group 'Labs' consists of client system(s).\r\n"
                                                          "Cannot delete the group!")
                                        << false;
    QTest::newRow("empty group, no question") << QStringLiteral("Empty") << false << QString() << true;
    const QString sure = QStringLiteral("Are you sure you want to delete the client 'PC2'?");
    QTest::newRow("system, answered no") << QStringLiteral("PC2") << false << sure << false;
    QTest::newRow("system, answered yes") << QStringLiteral("PC2") << true << sure << true;
    QTest::newRow("connected system")
        << QStringLiteral("PC1") << true << QStringLiteral("You cannot delete a connected client!") << false;
}

void TestGroupSystemManager::deletion() {
    QFETCH(QString, target);
    QFETCH(bool, answer);
    QFETCH(QString, question);
    QFETCH(bool, deleted);
    Fixture f;
    const bool system = target.startsWith(QLatin1String("PC"));
    const QString key = target == QLatin1String("PC1")   ? f.pc1
                        : target == QLatin1String("PC2") ? f.pc2
                                                         : Keys::Make_Group_Key(target);
    QVERIFY(f.link.connectIdentified(QStringLiteral("id1"), QStringLiteral("PC1")));
    f.list.Show_Node_In_List(system ? f.group(QStringLiteral("Labs")) : f.link.tree().root());
    const int listed = f.list.Get_List_Index_From_Key(key);
    QVERIFY(listed > 0);
    f.questions.answer = answer;
    // A system's deletion ends with the list refreshed, so it reports no node left to select.
    QCOMPARE(f.manager.Delete_Group_Or_System(f.node(key)), deleted && !system);
    QCOMPARE(f.questions.shown, question.isEmpty() ? QStringList() : QStringList{question});
    QCOMPARE(f.node(key) == nullptr, deleted);
    QCOMPARE(f.list.Get_List_Index_From_Key(key), deleted ? 0 : listed);
    const QString sql = system ? QStringLiteral("SELECT count(*) FROM System_Table WHERE System_Key=?")
                               : QStringLiteral("SELECT count(*) FROM Group_Table WHERE Group_Key=?");
    QCOMPARE(f.db().scalar(sql, {key}).toInt(), deleted ? 0 : 1);
}

void TestGroupSystemManager::deletingAGroupMovesItsSystemsToTheRoot_data() {
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("failing");
    QTest::newRow("no") << false << false;
    QTest::newRow("yes") << true << false;
    QTest::newRow("database fails") << true << true;
}

void TestGroupSystemManager::deletingAGroupMovesItsSystemsToTheRoot() {
    QFETCH(bool, yes);
    QFETCH(bool, failing);
    Fixture f;
    f.questions.answer = yes;
    if (failing)
        f.db().exec(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON Group_Table BEGIN SELECT "
                                   "RAISE(ABORT, 'locked'); END"));
    bool deleted = false;
    try {
        deleted = f.manager.deleteGroupMovingSystems(f.group(QStringLiteral("Labs")));
    } catch (const DatabaseError&) {
        QVERIFY(failing);
    }
    const bool gone = yes && !failing;
    QCOMPARE(f.questions.shown,
             QStringList{QStringLiteral("Delete the group 'Labs' and move its systems to the root?")});
    QCOMPARE(deleted, gone);
    QCOMPARE(!f.group(QStringLiteral("Labs")), gone);
    QCOMPARE(f.db()
                 .scalar(QStringLiteral("SELECT count(*) FROM Group_Table WHERE Group_ID=?"), {f.labsId})
                 .toInt(),
             gone ? 0 : 1);
    for (const QString& key : {f.pc1, f.pc2}) {
        QCOMPARE(f.node(key)->parent == f.link.tree().root(), gone);
        QCOMPARE(f.systemColumn(key, "Group_ID").toInt(), gone ? 0 : f.labsId);
    }
    // A system of its own keeps its settings at the root.
    QCOMPARE(f.systemColumn(f.pc2, "Apply_Systemwise_Settings").toInt(), 1);
}

void TestGroupSystemManager::move_data() {
    QTest::addColumn<bool>("drag");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("moves");
    QTest::addColumn<int>("groupId");
    QTest::addColumn<int>("ownSettings");
    // Into a group a system follows it; under the root it keeps what it had.
    QTest::newRow("selected, into a group")
        << false << QStringLiteral("loose") << QStringLiteral("Office") << true << 2 << 0;
    QTest::newRow("selected, onto the root")
        << false << QStringLiteral("pc2") << QStringLiteral("root") << true << 0 << 1;
    QTest::newRow("selected, onto its own group")
        << false << QStringLiteral("pc1") << QStringLiteral("Labs") << false << 1 << 0;
    QTest::newRow("selected, onto a system")
        << false << QStringLiteral("pc1") << QStringLiteral("loose") << false << 1 << 0;
    QTest::newRow("dragged, onto a group")
        << true << QStringLiteral("pc2") << QStringLiteral("Office") << true << 2 << 0;
    QTest::newRow("dragged, onto the root")
        << true << QStringLiteral("pc2") << QStringLiteral("root") << true << 0 << 1;
    QTest::newRow("dragged, onto its own group")
        << true << QStringLiteral("pc2") << QStringLiteral("Labs") << false << 1 << 1;
    QTest::newRow("dragged, onto a system")
        << true << QStringLiteral("pc2") << QStringLiteral("loose") << false << 1 << 1;
}

void TestGroupSystemManager::move() {
    QFETCH(bool, drag);
    QFETCH(QString, system);
    QFETCH(QString, target);
    QFETCH(bool, moves);
    QFETCH(int, groupId);
    QFETCH(int, ownSettings);
    Fixture f;
    const QString key = system == QLatin1String("pc1")   ? f.pc1
                        : system == QLatin1String("pc2") ? f.pc2
                                                         : f.loose;
    TreeNode* to = target == QLatin1String("root")    ? f.link.tree().root()
                   : target == QLatin1String("loose") ? f.node(f.loose)
                                                      : f.group(target);
    TreeNode* from = f.node(key)->parent;
    f.list.Show_Node_In_List(f.link.tree().root());
    if (drag)
        QCOMPARE(f.manager.moveDraggedSystem(f.node(key), to), moves);
    else
        f.manager.Move_Selected_Systems(to, from, {key});
    QCOMPARE(f.node(key)->parent, moves ? to : from);
    QCOMPARE(f.systemColumn(key, "Group_ID").toInt(), groupId);
    QCOMPARE(f.systemColumn(key, "Apply_Systemwise_Settings").toInt(), ownSettings);
    if (moves && to == f.link.tree().root())
        QCOMPARE(f.childTexts(to).constLast(), f.node(key)->text);
}

void TestGroupSystemManager::moveSeveralFromTheBottomUpWithTwoMessagesEach() {
    Fixture f;
    SimulatedClient* one = f.link.connectIdentified(QStringLiteral("id1"), QStringLiteral("PC1"));
    SimulatedClient* two = f.link.connectIdentified(QStringLiteral("id2"), QStringLiteral("PC2"));
    QVERIFY(one && two);
    TreeNode* labs = f.group(QStringLiteral("Labs"));
    TreeNode* office = f.group(QStringLiteral("Office"));
    f.list.Show_Node_In_List(labs);
    f.manager.Move_Selected_Systems(office, labs, {f.pc1, QStringLiteral("rComputers"), f.pc2});
    QCOMPARE(f.childTexts(office), (QStringList{QStringLiteral("PC2"), QStringLiteral("PC1")}));
    QCOMPARE(f.list.count(), 0);
    for (SimulatedClient* client : {one, two}) {
        QVERIFY(LinkHarness::waitForArrivals(client, 2));
        const QStringList shown = LinkHarness::shown(client);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(0), QStringLiteral("F|7|"));
        QVERIFY(shown.at(1).startsWith(QLatin1Char('S')));
    }
    QCOMPARE(f.systemColumn(f.pc1, "Group_ID").toInt(), f.officeId);
}

void TestGroupSystemManager::defaultNamesOnlyForSystems() {
    Fixture f;
    f.manager.Change_Group_Or_System_Name(f.pc1, QStringLiteral("Reception"), false);
    f.manager.Set_Default_Names({f.pc1, Keys::Make_Group_Key(QStringLiteral("Labs"))});
    QCOMPARE(f.node(f.pc1)->text, QStringLiteral("PC1"));
    QCOMPARE(f.systemColumn(f.pc1, "System_Name").toString(), QStringLiteral("PC1"));
    QCOMPARE(f.group(QStringLiteral("Labs"))->text, QStringLiteral("Labs"));
}

QTEST_GUILESS_MAIN(TestGroupSystemManager)
#include "tst_groupsystemmanager.moc"
