#include "AnsweringQuestions.h"
#include "LinkHarness.h"
#include "PolicyRows.h"
#include "core/console/Keys.h"
#include "core/console/SystemListModel.h"
#include "core/management/GroupSystemManager.h"
#include "core/store/DatabaseError.h"

#include <QSqlRecord>
#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;

namespace {

// The groups Lab (A, and B with settings of its own), Hall and Spare, and C under the root, with the
// root shown in the list.
const QString kStart = QStringLiteral("Computers(Lab(A@1,B@1*),Hall,Spare,C@0*) Lab,Hall,Spare,C:Computers");

struct Fixture {
    LinkHarness link;
    SystemListModel list{link.tree()};
    AnsweringQuestions questions;
    GroupSystemManager manager{link.db(), link.tree(), list, questions};

    Fixture() {
        const int labs = PolicyRows::addGroup(db(), QStringLiteral("Lab"));
        PolicyRows::addGroup(db(), QStringLiteral("Hall"));
        PolicyRows::addGroup(db(), QStringLiteral("Spare"));
        PolicyRows::addSystem(db(), QStringLiteral("id1"), QStringLiteral("A"), labs);
        PolicyRows::addSystem(db(), QStringLiteral("id2"), QStringLiteral("B"), labs, true);
        PolicyRows::addSystem(db(), QStringLiteral("id3"), QStringLiteral("C"), 0, true);
        link.loadTree();
        list.Show_Node_In_List(link.tree().root());
        manager.setLink(&link.connections(), &link.messenger());
    }
    Database& db() { return link.db(); }
    // The node shown with this text; a text no node has is taken as a key.
    TreeNode* node(const QString& text) {
        for (TreeNode* n : link.tree().nodesInOrder())
            if (n->text == text)
                return n;
        return link.tree().Get_Node_Index_From_Key(text);
    }
    QString key(const QString& text) {
        const TreeNode* n = node(text);
        return n ? n->key : text;
    }
    // A node's text, "!" and the stored name where that differs, "@" and the stored group of a system with
    // "*" when it has settings of its own; "?" when nothing is stored under its key.
    QString shape(const TreeNode* n) {
        QStringList children;
        for (const auto& child : n->children)
            children << shape(child.get());
        const bool group = Keys::Is_Group_Key(n->key);
        const QList<QSqlRecord> rows =
            group ? db().rows(u"SELECT Group_Name FROM Group_Table WHERE Group_Key=?"_s, {n->key})
                  : db().rows(u"SELECT System_Name, Group_ID, Apply_Systemwise_Settings FROM System_Table "
                              "WHERE System_Key=?"_s,
                              {n->key});
        QString text = n->text;
        if (n != link.tree().root() && rows.isEmpty())
            text += u'?';
        else if (!rows.isEmpty() && rows[0].value(0).toString() != n->text)
            text += u'!' + rows[0].value(0).toString();
        if (!group && !rows.isEmpty())
            text += u'@' + rows[0].value(1).toString() + (rows[0].value(2).toInt() ? u"*"_s : QString());
        return children.isEmpty() ? text : text + u'(' + children.join(u',') + u')';
    }
    // The tree with what is stored, "+" and the count of stored rows it lacks, and the list's rows.
    QString state() {
        QStringList shown;
        for (int row = 0; row < list.count(); ++row)
            shown << list.rowAt(row).text;
        const int stored =
            db().scalar(u"SELECT (SELECT count(*) FROM Group_Table) + (SELECT count(*) FROM System_Table)"_s)
                .toInt();
        const int missing = stored - (link.tree().count() - 1);
        return shape(link.tree().root()) + (missing ? u" +"_s + QString::number(missing) : QString()) + u' ' +
               shown.join(u',') + u':' + (list.count() ? list.rowAt(0).group : QString());
    }
    QString run(const QString& step) {
        const QString verb = step.section(u' ', 0, 0);
        const QString rest = step.section(u' ', 1);
        const QString a = rest.section(u' ', 0, 0), b = rest.section(u' ', 1);
        auto yes = [](bool done) { return done ? QStringLiteral("yes") : QStringLiteral("no"); };
        if (verb == u"answer"_s)
            questions.answer = rest == u"yes"_s;
        else if (verb == u"add"_s)
            return yes(manager.Add_New_Group());
        else if (verb == u"rename"_s || verb == u"rename+"_s)
            return yes(manager.Change_Group_Or_System_Name(key(rest.section(u'=', 0, 0)),
                                                           rest.section(u'=', 1), verb == u"rename+"_s));
        else if (verb == u"delete"_s)
            return yes(manager.Delete_Group_Or_System(node(rest)));
        else if (verb == u"dissolve"_s)
            return yes(manager.deleteGroupMovingSystems(node(rest)));
        else if (verb == u"drag"_s)
            return yes(manager.moveDraggedSystem(node(a), node(b)));
        else if (verb == u"move"_s) {
            QStringList keys;
            for (const QString& name : b.split(u','))
                keys << key(name);
            manager.Move_Selected_Systems(node(a), node(b.section(u',', 0, 0))->parent, keys);
        } else if (verb == u"defaults"_s)
            manager.Set_Default_Names({key(a), key(b)});
        else if (verb == u"show"_s)
            list.Show_Node_In_List(node(rest));
        else if (verb == u"connect"_s)
            return yes(link.connectIdentified(QStringLiteral("id1"), QStringLiteral("A")));
        else
            db().exec(step);
        return {};
    }
};

} // namespace

void row(const char* name, const QString& steps, const QString& answers = {}, const QString& shown = {},
         const QString& state = {}) {
    QTest::newRow(name) << steps << answers << shown << state;
}

class TestGroupSystemManager : public QObject {
    Q_OBJECT
private slots:
    void edit_data();
    void edit();
};

// Steps separated by '|'; what each step answers, the texts shown to the user and the state after them
// (empty for the starting state).
void TestGroupSystemManager::edit_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("answers");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("state");
    const QString x30(30, u'x'), x31(31, u'x');
    const QString tooLong = QStringLiteral("Group/System name should be less than 30");
    const QString invalid = QStringLiteral("Invalid Group/System name");

    row("new group in a gap", u"add|add|rename NewGroup(0)=Z|add"_s, u"yes yes yes yes"_s, {},
        u"Computers(Lab(A@1,B@1*),Hall,Spare,C@0*,Z,NewGroup(1),NewGroup(0)) "
        "Lab,Hall,Spare,C,Z,NewGroup(1),NewGroup(0):Computers"_s);
    row("new group, case ignored", u"add|rename NewGroup(0)=newgroup(0)|add"_s, u"yes yes yes"_s, {},
        u"Computers(Lab(A@1,B@1*),Hall,Spare,C@0*,newgroup(0),NewGroup(1)) "
        "Lab,Hall,Spare,C,newgroup(0),NewGroup(1):Computers"_s);
    row("new group, database fails",
        u"CREATE TRIGGER refuse BEFORE INSERT ON Group_Table BEGIN SELECT RAISE(ABORT, 'full'); END|add"_s,
        u"error"_s);

    row("rename group, children shown", u"show Lab|rename+ Lab=Lab rooms"_s, u"yes"_s, {},
        u"Computers(Lab rooms(A@1,B@1*),Hall,Spare,C@0*) A,B:Lab rooms"_s);
    row("rename, 30 characters", u"rename Lab="_s + x30, u"yes"_s, {},
        u"Computers(%1(A@1,B@1*),Hall,Spare,C@0*) %1,Hall,Spare,C:Computers"_s.arg(x30));
    row("rename, 31 characters", u"rename Lab="_s + x31, u"no"_s, tooLong);
    row("rename, empty", u"rename Lab="_s, u"no"_s, u"Group/System name cannot be Null"_s);
    row("rename, apostrophe", u"rename Lab=Bob's"_s, u"no"_s, invalid);
    row("rename, quotes and separator", u"rename Lab=\"Q\" \u00c7 & co"_s, u"yes"_s, {},
        u"Computers(\"Q\" \u00C7 & co(A@1,B@1*),Hall,Spare,C@0*) \"Q\" \u00C7 & co,Hall,Spare,C:Computers"_s);
    row("rename, case only", u"rename Lab=LAB"_s, u"yes"_s, {},
        u"Computers(LAB(A@1,B@1*),Hall,Spare,C@0*) LAB,Hall,Spare,C:Computers"_s);
    row("rename system, another's alias", u"rename A=B"_s, u"yes"_s, {},
        u"Computers(Lab(B@1,B@1*),Hall,Spare,C@0*) Lab,Hall,Spare,C:Computers"_s);
    row("rename root", u"rename Computers=All"_s, u"no"_s);

    row("delete group with systems", u"delete Lab"_s, u"no"_s,
        u"The group 'Lab' consists of client system(s).\r\nCannot delete the group!"_s);
    row("delete empty group", u"delete Spare"_s, u"yes"_s, {},
        u"Computers(Lab(A@1,B@1*),Hall,C@0*) Lab,Hall,C:Computers"_s);
    // A system's deletion ends with the list refreshed, so it reports no node left to select.
    const QString sure = QStringLiteral("Are you sure you want to delete the client 'B'?");
    row("delete system, answered no", u"show Lab|answer no|delete B"_s, u"no"_s, sure,
        u"Computers(Lab(A@1,B@1*),Hall,Spare,C@0*) A,B:Lab"_s);
    row("delete system, answered yes", u"show Lab|answer yes|delete B"_s, u"no"_s, sure,
        u"Computers(Lab(A@1),Hall,Spare,C@0*) A:Lab"_s);
    row("delete connected system", u"connect|show Lab|answer yes|delete A"_s, u"yes no"_s,
        u"You cannot delete a connected client!"_s, u"Computers(Lab(A@1,B@1*),Hall,Spare,C@0*) A,B:Lab"_s);
    const QString move = QStringLiteral("Delete the group 'Lab' and move its systems to the root?");
    row("dissolve group, answered yes", u"answer yes|dissolve Lab"_s, u"yes"_s, move,
        u"Computers(Hall,Spare,C@0*,A@0,B@0*) Hall,Spare,C:Computers"_s);
    row("dissolve group, database fails",
        u"CREATE TRIGGER refuse BEFORE DELETE ON Group_Table BEGIN SELECT RAISE(ABORT, 'locked'); "
        "END|answer yes|dissolve Lab"_s,
        u"error"_s, move);

    // Into a group a system follows it; under the root it keeps what it had.
    row("move into a group", u"move Hall C"_s, {}, {},
        u"Computers(Lab(A@1,B@1*),Hall(C@2),Spare) Lab,Hall,Spare:Computers"_s);
    row("move onto the root", u"move Computers B"_s, {}, {},
        u"Computers(Lab(A@1),Hall,Spare,C@0*,B@0*) A:Lab"_s);
    row("move onto its own group", u"move Lab A"_s);
    row("move onto a system", u"move C A"_s);
    // A refusal in the middle leaves the tree and the database as they were.
    row("move several, database fails",
        u"CREATE TRIGGER refuse BEFORE UPDATE OF Group_ID ON System_Table WHEN NEW.System_Name = 'A' BEGIN "
        u"SELECT "
        "RAISE(ABORT, 'full'); END|move Hall A,B"_s,
        u"error"_s, {}, u"Computers(Lab(A@1,B@1*),Hall,Spare,C@0*) A,B:Lab"_s);
    row("move several, from the bottom up", u"show Lab|move Hall A,rComputers,B"_s, {}, {},
        u"Computers(Lab,Hall(B@2,A@2),Spare,C@0*) :"_s);
    row("drag onto a group", u"drag B Hall"_s, u"yes"_s, {},
        u"Computers(Lab(A@1),Hall(B@2),Spare,C@0*) A:Lab"_s);
    row("drag onto its own group", u"drag B Lab"_s, u"no"_s);

    row("default names, systems only", u"rename A=Desk|rename Lab=Lab rooms|defaults Desk Lab rooms"_s,
        u"yes yes"_s, {},
        u"Computers(Lab rooms(A@1,B@1*),Hall,Spare,C@0*) Lab rooms,Hall,Spare,C:Computers"_s);
}

void TestGroupSystemManager::edit() {
    QFETCH(QString, steps);
    QFETCH(QString, answers);
    QFETCH(QString, shown);
    QFETCH(QString, state);
    Fixture f;
    QStringList answered;
    try {
        for (const QString& step : steps.split(u'|'))
            if (const QString answer = f.run(step); !answer.isEmpty())
                answered << answer;
    } catch (const DatabaseError&) {
        answered << QStringLiteral("error");
    }
    QCOMPARE(answered.join(u' '), answers);
    QCOMPARE(f.questions.shown.join(u'\n'), shown);
    QCoreApplication::processEvents();
    QCOMPARE(f.state(), state.isEmpty() ? kStart : state);
}

QTEST_GUILESS_MAIN(TestGroupSystemManager)
#include "tst_groupsystemmanager.moc"
