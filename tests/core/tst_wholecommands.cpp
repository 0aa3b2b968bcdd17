// A command that writes several rows writes all of them or none: a statement refused in its middle (a
// trigger stands in for a full disk or a lock) must leave the database, the tree and the editor's
// lists as they were before the command.

#include "AnsweringQuestions.h"
#include "CrashScript.h"
#include "core/console/Keys.h"
#include "core/console/TreeLoader.h"
#include "core/lists/GroupUrlList.h"
#include "core/lists/UrlCatalogue.h"
#include "core/store/Database.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace kestrava;

class TestWholeCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void refusedStatementLeavesAllAsBefore_data();
    void refusedStatementLeavesAllAsBefore();

private:
    QTemporaryDir m_dir;
    QString m_site;
};

namespace {

const QString kFloor1 = QStringLiteral("g\u00c7FLOOR 1");
const QString kFloor2 = QStringLiteral("g\u00c7FLOOR 2");

QString systemKey(int group, int system) {
    return Keys::Make_System_Key(QStringLiteral("id-%1-%2").arg(group).arg(system),
                                 QStringLiteral("PC-%1-%2").arg(group).arg(system));
}

// The console's parts over a copy of the site.
struct Console {
    explicit Console(const QString& path)
        : messenger(db, tree, connections, clock) {
        db.open(path);
        Load_Systems_Tree(db, tree);
        manager.setLink(&connections, &messenger);
    }
    Database db;
    SystemTree tree;
    SystemListModel list{tree};
    AnsweringQuestions answers{true};
    FixedClock clock{QDateTime(QDate(2026, 3, 13), QTime(9, 0))};
    ConnectionManager connections{db, tree};
    Messenger messenger;
    GroupSystemManager manager{db, tree, list, answers};
};

using Command = std::function<void(Console&)>;

QString treeShape(const SystemTree& tree) {
    QString shape;
    for (const TreeNode* node : tree.nodesInOrder())
        shape +=
            node->key + QLatin1Char('<') + (node->parent ? node->parent->key : QString()) + QLatin1Char('\n');
    return shape;
}

} // namespace

Q_DECLARE_METATYPE(Command)

void TestWholeCommands::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_site = m_dir.filePath(QStringLiteral("site.tlmr"));
    Database::createFactory(m_site);
    Database db;
    db.open(m_site);
    CrashScript(db, 0).setUp();
    // Floor 1's white list holds five URLs to start with.
    GroupUrlList list(db);
    list.setGroupKey(kFloor1);
    list.load();
    list.moveTo({0, 1, 2, 3, 4});
    db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

void TestWholeCommands::refusedStatementLeavesAllAsBefore_data() {
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<Command>("command");

    QTest::newRow("moving several systems")
        << QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE OF Group_ID ON System_Table "
                          "WHEN NEW.System_Key = 'c\u00c7id-1-3\u00c7PC-1-3\u00c7' BEGIN SELECT RAISE(ABORT, "
                          "'disk full'); END")
        << Command([](Console& c) {
               c.manager.Move_Selected_Systems(c.tree.Get_Node_Index_From_Key(kFloor2),
                                               c.tree.Get_Node_Index_From_Key(kFloor1),
                                               {systemKey(1, 3), systemKey(1, 2), systemKey(1, 1)});
           });
    QTest::newRow("white list, moving ten onto it")
        << QStringLiteral(
               "CREATE TRIGGER refuse BEFORE INSERT ON Group_URL_Table "
               "WHEN (SELECT count(*) FROM Group_URL_Table) >= 8 BEGIN SELECT RAISE(ABORT, 'disk full'); END")
        << Command([](Console& c) {
               GroupUrlList list(c.db);
               list.setGroupKey(kFloor1);
               list.load();
               const QStringList before = list.listed();
               try {
                   list.moveTo({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
               } catch (const DatabaseError&) {
                   QCOMPARE(list.listed(), before);
                   throw;
               }
           });
    QTest::newRow("catalogue, deleting five")
        << QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON DNS_Lookup_Table "
                          "WHEN OLD.URL = 'site-3.example.org' BEGIN SELECT RAISE(ABORT, 'disk full'); END")
        << Command([](Console& c) {
               UrlCatalogue catalogue(c.db);
               catalogue.load();
               const QStringList before = catalogue.entries();
               try {
                   catalogue.removeRows({0, 1, 2, 3, 4});
               } catch (const DatabaseError&) {
                   QCOMPARE(catalogue.entries(), before);
                   throw;
               }
           });
}

void TestWholeCommands::refusedStatementLeavesAllAsBefore() {
    QFETCH(QString, trigger);
    QFETCH(Command, command);
    const QString path =
        m_dir.filePath(QStringLiteral("copy-%1.tlmr").arg(QString::fromLatin1(QTest::currentDataTag())));
    QVERIFY(QFile::copy(m_site, path));
    Console console(path);
    console.db.exec(trigger);
    const QString dump = CrashScript::dump(console.db);
    const QString shape = treeShape(console.tree);

    bool refused = false;
    try {
        command(console);
    } catch (const DatabaseError& error) {
        refused = error.toMessage().contains(QLatin1String("disk full"));
    }
    QVERIFY2(refused, "the refused statement was not reached");
    QCOMPARE(CrashScript::dump(console.db), dump);
    QCOMPARE(treeShape(console.tree), shape);
}

QTEST_GUILESS_MAIN(TestWholeCommands)
#include "tst_wholecommands.moc"
