#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/lists/GroupProgramList.h"
#include "core/lists/GroupUrlList.h"

#include <QSqlQuery>
#include <QTest>

using namespace kestrava;

namespace {

qint64 addUrl(Database& db, const QString& url) {
    db.exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES(?)"), {url});
    return db.scalar(QStringLiteral("SELECT URL_ID FROM DNS_Lookup_Table WHERE URL=?"), {url}).toLongLong();
}

int rowsOfGroup(Database& db, qint64 groupId) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM Group_URL_Table WHERE Group_ID=?"), {groupId})
        .toInt();
}

QString url(int i) {
    return QStringLiteral("site%1.com").arg(i, 3, 10, QLatin1Char('0'));
}

// A group whose white list holds listed URLs, with more URLs left in the catalogue.
struct Fixture {
    TempDatabase temp;
    qint64 groupId = 0;
    GroupUrlList list{temp.db()};

    Fixture(int listed, int more) {
        groupId = PolicyRows::addGroup(temp.db(), QStringLiteral("Lab"));
        for (int i = 0; i < listed + more; ++i) {
            const qint64 id = addUrl(temp.db(), url(i));
            if (i < listed)
                temp.db().exec(QStringLiteral("INSERT INTO Group_URL_Table(Group_ID,URL_ID) VALUES(?,?)"),
                               {groupId, id});
        }
        list.setGroupKey(Keys::Make_Group_Key(QStringLiteral("Lab")));
        list.Load_White_List();
    }
};

} // namespace

class TestGroupList : public QObject {
    Q_OBJECT
private slots:
    void loadSplitsCatalogue();
    void moveToWritesAndSetsChanged();
    void limit_data();
    void limit();
    void moveBackRemovesRow();
    void deletedCatalogueEntryDropsOut();
    void entryGoneFromCatalogueIsSkipped();
    void nonGroupKeyDoesNothing_data();
    void nonGroupKeyDoesNothing();
    void missingGroupIsAnError();
    void blockListKeepsCase();
};

void TestGroupList::loadSplitsCatalogue() {
    Fixture f(2, 3);
    QCOMPARE(f.list.listed(), (QStringList{url(0), url(1)}));
    QCOMPARE(f.list.available(), (QStringList{url(2), url(3), url(4)}));
    QVERIFY(!f.list.changed());
    QVERIFY(f.list.keyToSendOnClose().isEmpty());
}

void TestGroupList::moveToWritesAndSetsChanged() {
    Fixture f(0, 4);
    const auto result = f.list.moveTo({0, 2});
    QCOMPARE(result.moved, (QList<int>{2, 0}));
    QVERIFY(!result.limitReached);
    // Appended in the order of the walk, from the last row up.
    QCOMPARE(f.list.listed(), (QStringList{url(2), url(0)}));
    QCOMPARE(f.list.available(), (QStringList{url(1), url(3)}));
    QVERIFY(f.list.changed());
    QCOMPARE(rowsOfGroup(f.temp.db(), f.groupId), 2);
    QVERIFY(f.list.Is_In_White_List(url(2)));
    // Closing the window sends the edited group its list.
    QCOMPARE(f.list.keyToSendOnClose(), Keys::Make_Group_Key(QStringLiteral("Lab")));
}

void TestGroupList::limit_data() {
    QTest::addColumn<int>("listed");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QList<int>>("moved");
    QTest::addColumn<bool>("limitReached");
    // Walked from the last selected row up; the move before the limit stays in the database.
    QTest::newRow("98 and two selected") << 98 << QList<int>{1, 3} << QList<int>{3, 1} << false;
    QTest::newRow("99 and three selected") << 99 << QList<int>{1, 3, 4} << QList<int>{4} << true;
    QTest::newRow("100 and one selected") << 100 << QList<int>{0} << QList<int>{} << true;
    QTest::newRow("100 and none selected") << 100 << QList<int>{} << QList<int>{} << false;
}

void TestGroupList::limit() {
    QFETCH(int, listed);
    QFETCH(QList<int>, selected);
    QFETCH(QList<int>, moved);
    QFETCH(bool, limitReached);
    Fixture f(listed, 5);
    const auto result = f.list.moveTo(selected);
    QCOMPARE(result.limitReached, limitReached);
    QCOMPARE(result.moved, moved);
    QCOMPARE(f.list.listed().size(), listed + moved.size());
    QCOMPARE(f.list.available().size(), 5 - moved.size());
    QCOMPARE(f.list.changed(), !moved.isEmpty());
    QCOMPARE(rowsOfGroup(f.temp.db(), f.groupId), listed + moved.size());
}

void TestGroupList::moveBackRemovesRow() {
    Fixture f(3, 0);
    const auto result = f.list.moveBack({0, 2});
    QCOMPARE(result.moved, (QList<int>{2, 0}));
    QCOMPARE(f.list.listed(), QStringList{url(1)});
    QCOMPARE(f.list.available(), (QStringList{url(2), url(0)}));
    QVERIFY(f.list.changed());
    QCOMPARE(rowsOfGroup(f.temp.db(), f.groupId), 1);
}

void TestGroupList::deletedCatalogueEntryDropsOut() {
    Fixture f(2, 0);
    f.temp.db().exec(QStringLiteral("DELETE FROM DNS_Lookup_Table WHERE URL=?"), {url(0)});
    GroupUrlList reopened(f.temp.db());
    reopened.setGroupKey(Keys::Make_Group_Key(QStringLiteral("LAB")));
    reopened.Load_White_List();
    QCOMPARE(reopened.listed(), QStringList{url(1)});
    QVERIFY(reopened.available().isEmpty());
}

void TestGroupList::entryGoneFromCatalogueIsSkipped() {
    Fixture f(0, 2);
    f.temp.db().exec(QStringLiteral("DELETE FROM DNS_Lookup_Table WHERE URL=?"), {url(1)});
    const auto result = f.list.moveTo({0, 1});
    QCOMPARE(result.moved, QList<int>{0});
    QCOMPARE(f.list.available(), QStringList{url(1)});
    QCOMPARE(f.list.listed(), QStringList{url(0)});
}

void TestGroupList::nonGroupKeyDoesNothing_data() {
    QTest::addColumn<QString>("key");
    QTest::newRow("root") << Keys::rootKey();
    QTest::newRow("system") << Keys::Make_System_Key(QStringLiteral("id1"), QStringLiteral("PC1"));
    QTest::newRow("empty") << QString();
}

void TestGroupList::nonGroupKeyDoesNothing() {
    QFETCH(QString, key);
    TempDatabase temp;
    addUrl(temp.db(), url(0));
    GroupUrlList list(temp.db());
    list.setGroupKey(key);
    list.Load_White_List();
    QVERIFY(!list.hasGroup());
    QVERIFY(list.available().isEmpty());
    QVERIFY(list.moveTo({0}).moved.isEmpty());
    QVERIFY(!list.changed());
}

void TestGroupList::missingGroupIsAnError() {
    Fixture f(0, 1);
    f.temp.db().exec(QStringLiteral("DELETE FROM Group_Table"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, f.list.moveTo({0}));
    QCOMPARE(f.list.available().size(), 1);
    QVERIFY(!f.list.changed());
}

void TestGroupList::blockListKeepsCase() {
    TempDatabase temp;
    const qint64 groupId = PolicyRows::addGroup(temp.db(), QStringLiteral("Office"));
    temp.db().exec(QStringLiteral("INSERT INTO Program_Table(Program) VALUES(?),(?)"),
                   {QStringLiteral("CALC.EXE"), QStringLiteral(" ")});
    GroupProgramList list(temp.db());
    list.setGroupKey(Keys::Make_Group_Key(QStringLiteral("office")));
    list.Load_Block_List();
    QCOMPARE(list.available(), (QStringList{QStringLiteral("CALC.EXE"), QStringLiteral(" ")}));
    list.moveTo({0, 1});
    QCOMPARE(list.listed(), (QStringList{QStringLiteral(" "), QStringLiteral("CALC.EXE")}));
    QVERIFY(list.Is_In_Block_List(QStringLiteral("CALC.EXE")));
    QVERIFY(!list.Is_In_Block_List(QStringLiteral("calc.exe")));
    QCOMPARE(
        temp.db()
            .scalar(QStringLiteral("SELECT count(*) FROM Group_Program_Table WHERE Group_ID=?"), {groupId})
            .toInt(),
        2);
    list.moveBack({1});
    QCOMPARE(list.listed(), QStringList{QStringLiteral(" ")});
    QCOMPARE(
        temp.db()
            .scalar(QStringLiteral("SELECT count(*) FROM Group_Program_Table WHERE Group_ID=?"), {groupId})
            .toInt(),
        1);
}

QTEST_GUILESS_MAIN(TestGroupList)
#include "tst_grouplist.moc"
