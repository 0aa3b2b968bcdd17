#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/lists/GroupProgramList.h"
#include "core/lists/GroupUrlList.h"
#include "core/store/DatabaseError.h"

#include <QTest>
#include <memory>

using namespace kestrava;
using namespace Qt::StringLiterals;

class TestGroupList : public QObject {
    Q_OBJECT
private slots:
    void move_data();
    void move();
};

namespace {

QString url(int i) {
    return u"site%1.com"_s.arg(i, 3, 10, QChar(u'0'));
}

// Short lists in full, long ones as their length.
QString shown(const QStringList& list) {
    return list.size() > 4 ? QString::number(list.size()) : u'[' + list.join(u',') + u']';
}

QString numbers(const QList<int>& rows) {
    QStringList out;
    for (const int row : rows)
        out << QString::number(row);
    return out.join(u',');
}

QList<int> rowsOf(const QString& text) {
    QList<int> rows;
    for (const QString& row : text.split(u',', Qt::SkipEmptyParts))
        rows << row.toInt();
    return rows;
}

void row(const char* name, const QString& key, int listed, int more, const QString& steps, const QString& log,
         const QString& state) {
    QTest::newRow(name) << key << listed << more << steps << log << state;
}

} // namespace

// Lab's white list holds `listed` URLs with `more` left in the catalogue ("Program" instead: the block
// list with CALC.EXE and a blank in the catalogue). The list is opened for `key`; steps ("to rows",
// "back rows", "load" or SQL) follow, each move answering the rows it moved and whether the limit stopped it;
// the state is the list, what is left to add, the changed flag, the node sent on closing and the stored rows.
void TestGroupList::move_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("listed");
    QTest::addColumn<int>("more");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("state");
    const QString lab = Keys::Make_Group_Key(u"Lab"_s);
    // Appended in the order of the walk, from the last row up.
    row("moved onto the list", lab, 0, 4, u"to 0,2"_s, u"2,0"_s,
        u"[site002.com,site000.com] [site001.com,site003.com] changed send 2"_s);
    // The move before the limit stays in the database.
    row("98 and two selected", lab, 98, 5, u"to 1,3"_s, u"3,1"_s,
        u"100 [site098.com,site100.com,site102.com] changed send 100"_s);
    row("99 and three selected", lab, 99, 5, u"to 1,3,4"_s, u"4 limit"_s,
        u"100 [site099.com,site100.com,site101.com,site102.com] changed send 100"_s);
    row("100 and one selected", lab, 100, 5, u"to 0"_s, u"limit"_s, u"100 5 100"_s);
    row("100 and none selected", lab, 100, 5, u"to "_s, {}, u"100 5 100"_s);
    row("moved back", lab, 3, 0, u"back 0,2"_s, u"2,0"_s,
        u"[site001.com] [site002.com,site000.com] changed send 1"_s);
    row("deleted from the catalogue", Keys::Make_Group_Key(u"LAB"_s), 2, 0,
        u"DELETE FROM DNS_Lookup_Table WHERE URL='site000.com'|load"_s, {}, u"[site001.com] [] 2"_s);
    row("gone from the catalogue meanwhile", lab, 0, 2,
        u"DELETE FROM DNS_Lookup_Table WHERE URL='site001.com'|to 0,1"_s, u"0"_s,
        u"[site000.com] [site001.com] changed send 1"_s);
    row("refused in the middle of a move", lab, 0, 4,
        u"CREATE TRIGGER refuse BEFORE INSERT ON Group_URL_Table WHEN (SELECT count(*) FROM Group_URL_Table) "
        u">= 2 "
        "BEGIN SELECT RAISE(ABORT, 'full'); END|to 0,1,2"_s,
        u"error"_s, u"[] [site000.com,site001.com,site002.com,site003.com] 0"_s);
    row("system", Keys::Make_System_Key(u"id1"_s, u"PC1"_s), 0, 1, u"to 0"_s, {}, u"[] [] 0"_s);
    row("no key", {}, 0, 1, u"to 0"_s, {}, u"[] [] 0"_s);
    row("group deleted meanwhile", lab, 0, 1, u"DELETE FROM Group_Table|to 0"_s, u"error"_s,
        u"[] [site000.com] 0"_s);
    row("block list keeps case", u"Program"_s, 0, 0, u"to 0,1|back 1"_s, u"1,0 1"_s,
        u"[ ] [CALC.EXE] changed send 1"_s);
}

void TestGroupList::move() {
    QFETCH(QString, key);
    QFETCH(int, listed);
    QFETCH(int, more);
    QFETCH(QString, steps);
    QFETCH(QString, log);
    QFETCH(QString, state);
    TempDatabase temp;
    Database& db = temp.db();
    const qint64 group = PolicyRows::addGroup(db, u"Lab"_s);
    for (int i = 0; i < listed + more; ++i) {
        db.exec(u"INSERT INTO DNS_Lookup_Table(URL) VALUES(?)"_s, {url(i)});
        if (i < listed)
            db.exec(u"INSERT INTO Group_URL_Table(Group_ID, URL_ID) VALUES(?, last_insert_rowid())"_s,
                    {group});
    }
    db.exec(u"INSERT INTO Program_Table(Program) VALUES('CALC.EXE'), (' ')"_s);
    std::unique_ptr<GroupList> list;
    if (key == u"Program") {
        list = std::make_unique<GroupProgramList>(db);
        key = Keys::Make_Group_Key(u"lab"_s);
    } else
        list = std::make_unique<GroupUrlList>(db);
    list->setGroupKey(key);
    list->load();
    QStringList said;
    for (const QString& step : steps.split(u'|', Qt::SkipEmptyParts)) {
        const QList<int> rows = rowsOf(step.section(u' ', 1));
        try {
            if (step.startsWith(u"to ")) {
                const GroupList::MoveResult result = list->moveTo(rows);
                said << numbers(result.moved) + (result.limitReached ? u" limit"_s : QString());
            } else if (step.startsWith(u"back "))
                said << numbers(list->moveBack(rows).moved);
            else if (step == u"load")
                list->load();
            else
                db.exec(step);
        } catch (const DatabaseError&) {
            said << u"error"_s;
        }
    }
    QCOMPARE(said.join(u' ').trimmed(), log);
    const int stored = db.scalar(u"SELECT (SELECT count(*) FROM Group_URL_Table) + "
                                 "(SELECT count(*) FROM Group_Program_Table)"_s)
                           .toInt();
    QStringList parts{shown(list->listed()), shown(list->available())};
    if (list->changed())
        parts << u"changed"_s << (list->keyToSendOnClose() == key ? u"send"_s : list->keyToSendOnClose());
    QCOMPARE((parts << QString::number(stored)).join(u' '), state);
}

QTEST_GUILESS_MAIN(TestGroupList)
#include "tst_grouplist.moc"
