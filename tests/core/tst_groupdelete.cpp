#include "LinkHarness.h"
#include "PolicyRows.h"
#include "console/GroupSystemManager.h"
#include "console/Keys.h"
#include "console/Questions.h"
#include "console/SystemListModel.h"
#include "store/DatabaseError.h"

#include <QTest>

using namespace kestrava;

namespace {

class Answer : public Questions {
public:
    void inform(const QString& text) override { shown << text; }
    bool confirm(const QString& text) override {
        shown << text;
        return yes;
    }
    QStringList shown;
    bool yes = false;
};

} // namespace

class TestGroupDelete : public QObject {
    Q_OBJECT
private slots:
    void deletingAGroupAsksAndMovesItsSystemsToTheRoot_data();
    void deletingAGroupAsksAndMovesItsSystemsToTheRoot();
};

void TestGroupDelete::deletingAGroupAsksAndMovesItsSystemsToTheRoot_data() {
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("failing");
    QTest::newRow("no") << false << false;
    QTest::newRow("yes") << true << false;
    QTest::newRow("database fails") << true << true;
}

void TestGroupDelete::deletingAGroupAsksAndMovesItsSystemsToTheRoot() {
    QFETCH(bool, yes);
    QFETCH(bool, failing);
    LinkHarness link;
    Database& db = link.db();
    const int labs = PolicyRows::addGroup(db, QStringLiteral("Labs"));
    const QString pc1 = PolicyRows::addSystem(db, QStringLiteral("id1"), QStringLiteral("PC1"), labs);
    const QString pc2 = PolicyRows::addSystem(db, QStringLiteral("id2"), QStringLiteral("PC2"), labs, true);
    link.loadTree();
    SystemListModel list(link.tree());
    Answer questions;
    questions.yes = yes;
    GroupSystemManager manager(db, link.tree(), list, questions);
    if (failing)
        db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON Group_Table BEGIN SELECT RAISE(ABORT, "
                               "'locked'); END"));
    const QString labsKey = Keys::Make_Group_Key(QStringLiteral("Labs"));
    bool deleted = false;
    try {
        deleted = manager.deleteGroupMovingSystems(link.tree().Get_Node_Index_From_Key(labsKey));
    } catch (const DatabaseError&) {
        QVERIFY(failing);
    }
    const bool gone = yes && !failing;
    QCOMPARE(questions.shown,
             QStringList{QStringLiteral("Delete the group 'Labs' and move its systems to the root?")});
    QCOMPARE(deleted, gone);
    QCOMPARE(!link.tree().Get_Node_Index_From_Key(labsKey), gone);
    QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM Group_Table WHERE Group_ID=?"), {labs}).toInt(),
             gone ? 0 : 1);
    for (const QString& key : {pc1, pc2}) {
        QCOMPARE(link.tree().Get_Node_Index_From_Key(key)->parent == link.tree().root(), gone);
        QCOMPARE(
            db.scalar(QStringLiteral("SELECT Group_ID FROM System_Table WHERE System_Key=?"), {key}).toInt(),
            gone ? 0 : labs);
    }
    // A system of its own keeps its settings at the root.
    QCOMPARE(
        db.scalar(QStringLiteral("SELECT Apply_Systemwise_Settings FROM System_Table WHERE System_Key=?"),
                  {pc2})
            .toInt(),
        1);
}

QTEST_GUILESS_MAIN(TestGroupDelete)
#include "tst_groupdelete.moc"
