// TreeNode::row() stays right while siblings come and go, whatever it remembered before.
#include "console/Keys.h"
#include "console/SystemTree.h"

#include <QTest>

using namespace kestrava;

class TestTreeNodeRow : public QObject {
    Q_OBJECT
private slots:
    void rowsFollowAddsRemovesAndMoves() {
        SystemTree tree;
        TreeNode* group = tree.addNode(tree.root(), Keys::Make_Group_Key(QStringLiteral("G")),
                                       QStringLiteral("G"), NodeImage::Group, NodeImage::SelectedGroup);
        QList<TreeNode*> systems;
        for (int i = 0; i < 6; ++i)
            systems << tree.addNode(group, Keys::Make_System_Key(QString::number(i), QStringLiteral("PC")),
                                    QStringLiteral("PC%1").arg(i), NodeImage::SystemOffline,
                                    NodeImage::SystemOffline);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(systems[i]->row(), i);

        tree.removeNode(systems[1]);
        QCOMPARE(systems[0]->row(), 0);
        for (int i = 2; i < 6; ++i)
            QCOMPARE(systems[i]->row(), i - 1);

        tree.moveNode(systems[3], tree.root());
        QCOMPARE(systems[3]->row(), 1);
        QCOMPARE(systems[4]->row(), 2);
        QCOMPARE(systems[5]->row(), 3);
        QCOMPARE(group->row(), 0);
        QCOMPARE(tree.root()->row(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTreeNodeRow)
#include "tst_treenoderow.moc"
