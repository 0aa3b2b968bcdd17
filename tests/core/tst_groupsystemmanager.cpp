#include "LinkHarness.h"
#include "PolicyRows.h"
#include "SimulatedClient.h"
#include "console/GroupSystemManager.h"
#include "console/Keys.h"
#include "console/Questions.h"
#include "console/SystemListModel.h"

#include <QTest>

using namespace kestrava;

namespace {

// Answers every question with the answer set in advance and keeps every text it was shown.
class AnsweringQuestions : public Questions {
public:
    void inform(const QString& text) override { shown << text; }
    bool confirm(const QString& text) override {
        shown << text;
        return answer;
    }
    QStringList shown;
    bool answer = false;
};

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
    void renameGroup_data();
    void renameGroup();
    void renameSystem_data();
    void renameSystem();
    void renamedGroupShowsItsChildrenWithTheNewName();
    void rootCannotBeRenamed();
    void deleteGroupWithSystemsIsRefused();
    void deleteEmptyGroupNeedsNoQuestion();
    void deleteSystemAsksFirst_data();
    void deleteSystemAsksFirst();
    void deleteConnectedSystemIsRefused();
    void moveToGroupDropsOwnSettings();
    void moveToRootKeepsOwnSettings();
    void moveSeveralFromTheBottomUpWithTwoMessagesEach();
    void moveOntoOriginOrSystemDoesNothing();
    void dragOfTreeNode_data();
    void dragOfTreeNode();
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
    QCOMPARE(added->text, expected);
    QCOMPARE(added->key, Keys::Make_Group_Key(expected));
    QCOMPARE(added->parent, f.link.tree().root());
    QCOMPARE(added->image, NodeImage::Group);
    QCOMPARE(added->selectedImage, NodeImage::SelectedGroup);
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

void TestGroupSystemManager::renameGroup_data() {
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("message");
    const QString unique = QStringLiteral("Group name must be unique..!");
    QTest::newRow("new name") << QStringLiteral("Lab rooms") << QString();
    QTest::newRow("30 characters") << QString(30, QLatin1Char('x')) << QString();
    QTest::newRow("31 characters") << QString(31, QLatin1Char('x'))
                                   << QStringLiteral("Group/System name should be less than 30");
    QTest::newRow("length before apostrophe") << QString(30, QLatin1Char('x')) + QLatin1Char('\'')
                                              << QStringLiteral("Group/System name should be less than 30");
    QTest::newRow("empty") << QString() << QStringLiteral("Group/System name cannot be Null");
    QTest::newRow("apostrophe") << QStringLiteral("Bob's") << QStringLiteral("Invalid Group/System name");
    QTest::newRow("quotes and separator") << QStringLiteral("\"A\" %1 & co").arg(QChar(0xC7)) << QString();
    QTest::newRow("unchanged") << QStringLiteral("Labs") << unique;
    QTest::newRow("case only") << QStringLiteral("LABS") << unique;
    QTest::newRow("another group's") << QStringLiteral("office") << unique;
}

void TestGroupSystemManager::renameGroup() {
    QFETCH(QString, newName);
    QFETCH(QString, message);
    Fixture f;
    const QString oldKey = Keys::Make_Group_Key(QStringLiteral("Labs"));
    const bool changed = f.manager.Change_Group_Or_System_Name(oldKey, newName, false);
    QCOMPARE(changed, message.isEmpty());
    QCOMPARE(f.questions.shown, message.isEmpty() ? QStringList() : QStringList{message});
    const QString stored = changed ? newName : QStringLiteral("Labs");
    const QString storedKey = Keys::Make_Group_Key(stored);
    QCOMPARE(f.db()
                 .scalar(QStringLiteral("SELECT Group_Name FROM Group_Table WHERE Group_ID=?"), {f.labsId})
                 .toString(),
             stored);
    QCOMPARE(f.db()
                 .scalar(QStringLiteral("SELECT Group_Key FROM Group_Table WHERE Group_ID=?"), {f.labsId})
                 .toString(),
             storedKey);
    TreeNode* node = f.node(storedKey);
    QVERIFY(node);
    QCOMPARE(node->text, stored);
    QCOMPARE(node->children.size(), std::size_t(2));
    if (changed)
        QVERIFY(!f.node(oldKey));
    const int row = f.list.Get_List_Index_From_Key(storedKey);
    QCOMPARE(row, 1);
    QCOMPARE(f.list.rowAt(0).text, stored);
}

void TestGroupSystemManager::renameSystem_data() {
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("message");
    QTest::newRow("new alias") << QStringLiteral("Reception") << QString();
    QTest::newRow("same alias written again") << QStringLiteral("PC1") << QString();
    QTest::newRow("30 characters") << QString(30, QLatin1Char('y')) << QString();
    QTest::newRow("31 characters") << QString(31, QLatin1Char('y'))
                                   << QStringLiteral("Group/System name should be less than 30");
    QTest::newRow("apostrophe") << QStringLiteral("'") << QStringLiteral("Invalid Group/System name");
    QTest::newRow("alias of another system") << QStringLiteral("PC2") << QString();
}

void TestGroupSystemManager::renameSystem() {
    QFETCH(QString, newName);
    QFETCH(QString, message);
    Fixture f;
    f.list.Show_Node_In_List(f.group(QStringLiteral("Labs")));
    const bool changed = f.manager.Change_Group_Or_System_Name(f.pc1, newName, false);
    QCOMPARE(changed, message.isEmpty());
    QCOMPARE(f.questions.shown, message.isEmpty() ? QStringList() : QStringList{message});
    const QString stored = changed ? newName : QStringLiteral("PC1");
    QCOMPARE(f.systemColumn(f.pc1, "System_Name").toString(), stored);
    QCOMPARE(f.node(f.pc1)->text, stored);
    QCOMPARE(f.list.rowAt(f.list.Get_List_Index_From_Key(f.pc1) - 1).text, stored);
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

void TestGroupSystemManager::rootCannotBeRenamed() {
    Fixture f;
    QVERIFY(
        !f.manager.Change_Group_Or_System_Name(QStringLiteral("rComputers"), QStringLiteral("All"), true));
    QCOMPARE(f.link.tree().root()->text, QStringLiteral("Computers"));
    QVERIFY(f.questions.shown.isEmpty());
}

void TestGroupSystemManager::deleteGroupWithSystemsIsRefused() {
    Fixture f;
    f.questions.answer = true;
    QVERIFY(!f.manager.Delete_Group_Or_System(f.group(QStringLiteral("Labs"))));
    QCOMPARE(f.questions.shown,
             QStringList{QStringLiteral(
                 "The group 'Labs' consists of client system(s).\r\nCannot delete the group!")});
    QVERIFY(f.group(QStringLiteral("Labs")));
    QCOMPARE(f.db()
                 .scalar(QStringLiteral("SELECT count(*) FROM Group_Table WHERE Group_ID=?"), {f.labsId})
                 .toInt(),
             1);
}

void TestGroupSystemManager::deleteEmptyGroupNeedsNoQuestion() {
    Fixture f;
    const QString key = Keys::Make_Group_Key(QStringLiteral("Empty"));
    QCOMPARE(f.list.Get_List_Index_From_Key(key), 3);
    QVERIFY(f.manager.Delete_Group_Or_System(f.node(key)));
    QVERIFY(f.questions.shown.isEmpty());
    QVERIFY(!f.node(key));
    QCOMPARE(f.list.Get_List_Index_From_Key(key), 0);
    QCOMPARE(
        f.db().scalar(QStringLiteral("SELECT count(*) FROM Group_Table WHERE Group_Key=?"), {key}).toInt(),
        0);
}

void TestGroupSystemManager::deleteSystemAsksFirst_data() {
    QTest::addColumn<bool>("answer");
    QTest::newRow("no") << false;
    QTest::newRow("yes") << true;
}

void TestGroupSystemManager::deleteSystemAsksFirst() {
    QFETCH(bool, answer);
    Fixture f;
    f.list.Show_Node_In_List(f.group(QStringLiteral("Labs")));
    f.questions.answer = answer;
    QVERIFY(!f.manager.Delete_Group_Or_System(f.node(f.pc2)));
    QCOMPARE(f.questions.shown,
             QStringList{QStringLiteral("Are you sure you want to delete the client 'PC2'?")});
    QCOMPARE(f.node(f.pc2) == nullptr, answer);
    QCOMPARE(f.list.Get_List_Index_From_Key(f.pc2), answer ? 0 : 2);
    QCOMPARE(f.db()
                 .scalar(QStringLiteral("SELECT count(*) FROM System_Table WHERE System_Key=?"), {f.pc2})
                 .toInt(),
             answer ? 0 : 1);
}

void TestGroupSystemManager::deleteConnectedSystemIsRefused() {
    Fixture f;
    SimulatedClient* client = f.link.connectIdentified(QStringLiteral("id1"), QStringLiteral("PC1"));
    QVERIFY(client);
    f.questions.answer = true;
    QVERIFY(!f.manager.Delete_Group_Or_System(f.node(f.pc1)));
    QCOMPARE(f.questions.shown, QStringList{QStringLiteral("You cannot delete a connected client!")});
    QVERIFY(f.node(f.pc1));
    QCOMPARE(f.db()
                 .scalar(QStringLiteral("SELECT count(*) FROM System_Table WHERE System_Key=?"), {f.pc1})
                 .toInt(),
             1);
}

void TestGroupSystemManager::moveToGroupDropsOwnSettings() {
    Fixture f;
    TreeNode* office = f.group(QStringLiteral("Office"));
    f.list.Show_Node_In_List(f.link.tree().root());
    f.manager.Move_Selected_Systems(office, f.link.tree().root(), {f.loose});
    QCOMPARE(f.systemColumn(f.loose, "Group_ID").toInt(), f.officeId);
    QCOMPARE(f.systemColumn(f.loose, "Apply_Systemwise_Settings").toInt(), 0);
    QCOMPARE(f.node(f.loose)->parent, office);
    QCOMPARE(f.list.Get_List_Index_From_Key(f.loose), 0);
    QCOMPARE(f.list.count(), 3);
}

void TestGroupSystemManager::moveToRootKeepsOwnSettings() {
    Fixture f;
    TreeNode* labs = f.group(QStringLiteral("Labs"));
    f.list.Show_Node_In_List(labs);
    f.manager.Move_Selected_Systems(f.link.tree().root(), labs, {f.pc2});
    QCOMPARE(f.systemColumn(f.pc2, "Group_ID").toInt(), 0);
    QCOMPARE(f.systemColumn(f.pc2, "Apply_Systemwise_Settings").toInt(), 1);
    QCOMPARE(f.node(f.pc2)->parent, f.link.tree().root());
    QCOMPARE(f.childTexts(f.link.tree().root()).constLast(), QStringLiteral("PC2"));
    QCOMPARE(f.list.count(), 1);
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
    QCOMPARE(f.systemColumn(f.pc2, "Group_ID").toInt(), f.officeId);
}

void TestGroupSystemManager::moveOntoOriginOrSystemDoesNothing() {
    Fixture f;
    TreeNode* labs = f.group(QStringLiteral("Labs"));
    f.list.Show_Node_In_List(labs);
    f.manager.Move_Selected_Systems(labs, labs, {f.pc1});
    f.manager.Move_Selected_Systems(f.node(f.loose), labs, {f.pc1});
    f.manager.Move_Selected_Systems(nullptr, labs, {f.pc1});
    QCOMPARE(f.node(f.pc1)->parent, labs);
    QCOMPARE(f.systemColumn(f.pc1, "Group_ID").toInt(), f.labsId);
}

void TestGroupSystemManager::dragOfTreeNode_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("moves");
    QTest::addColumn<int>("groupId");
    QTest::addColumn<int>("ownSettings");
    QTest::newRow("onto a group") << QStringLiteral("Office") << true << 2 << 0;
    QTest::newRow("onto the root") << QStringLiteral("root") << true << 0 << 1;
    QTest::newRow("onto its own group") << QStringLiteral("Labs") << false << 1 << 1;
    QTest::newRow("onto a system") << QStringLiteral("loose") << false << 1 << 1;
}

void TestGroupSystemManager::dragOfTreeNode() {
    QFETCH(QString, target);
    QFETCH(bool, moves);
    QFETCH(int, groupId);
    QFETCH(int, ownSettings);
    Fixture f;
    TreeNode* to = target == QLatin1String("root")    ? f.link.tree().root()
                   : target == QLatin1String("loose") ? f.node(f.loose)
                                                      : f.group(target);
    f.list.Show_Node_In_List(f.link.tree().root());
    QCOMPARE(f.manager.moveDraggedSystem(f.node(f.pc2), to), moves);
    QCOMPARE(f.node(f.pc2)->parent, moves ? to : f.group(QStringLiteral("Labs")));
    QCOMPARE(f.systemColumn(f.pc2, "Group_ID").toInt(), groupId);
    QCOMPARE(f.systemColumn(f.pc2, "Apply_Systemwise_Settings").toInt(), ownSettings);
    if (moves)
        QCOMPARE(f.list.rowAt(0).group, QStringLiteral("Labs"));
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
