#include "console/ChangedRows.h"

#include <QTest>

using namespace kestrava;

using Ranges = QList<std::pair<int, int>>;
Q_DECLARE_METATYPE(Ranges)

class TestChangedRows : public QObject {
    Q_OBJECT
private slots:
    void handsRangesOfLimitedSize_data();
    void handsRangesOfLimitedSize();
    void spentBudgetLeavesTheRest();
    void rowsAddedWhileSignallingAreHandedToo();
};

void TestChangedRows::handsRangesOfLimitedSize_data() {
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<Ranges>("handed");
    constexpr int limit = ChangedRows::kRowsPerRange;
    QTest::newRow("one row") << QList<int>{7} << Ranges{{7, 7}};
    QTest::newRow("span of rows in any order") << QList<int>{9, 3, 5} << Ranges{{3, 9}};
    QTest::newRow("exactly one range") << QList<int>{0, limit - 1} << Ranges{{0, limit - 1}};
    QTest::newRow("one row more") << QList<int>{0, limit} << Ranges{{0, limit - 1}, {limit, limit}};
    QTest::newRow("a mass drop") << QList<int>{18'999, 0} << Ranges{{0, limit - 1}, {limit, 2 * limit - 1}};
}

void TestChangedRows::handsRangesOfLimitedSize() {
    QFETCH(QList<int>, rows);
    QFETCH(Ranges, handed);
    ChangedRows changed;
    for (int row : rows)
        changed.add(nullptr, row);
    Ranges got;
    QVERIFY(!changed.hand([&](const TreeNode*, int first, int last) { got.append({first, last}); }));
    QVERIFY(changed.isEmpty());
    QCOMPARE(got.mid(0, handed.size()), handed);
    QCOMPARE(got.back().second, *std::max_element(rows.cbegin(), rows.cend()));
}

void TestChangedRows::spentBudgetLeavesTheRest() {
    ChangedRows changed;
    changed.add(nullptr, 4);
    int signalled = 0;
    QVERIFY(changed.hand([&](const TreeNode*, int, int) { ++signalled; }, std::chrono::milliseconds(0)));
    QCOMPARE(signalled, 0);
    QVERIFY(!changed.hand([&](const TreeNode*, int, int) { ++signalled; }, std::chrono::milliseconds(50)));
    QCOMPARE(signalled, 1);
}

void TestChangedRows::rowsAddedWhileSignallingAreHandedToo() {
    ChangedRows changed;
    changed.add(nullptr, 1);
    Ranges got;
    changed.hand([&](const TreeNode* parent, int first, int last) {
        got.append({first, last});
        if (first == 1)
            changed.add(parent, 0);
    });
    QCOMPARE(got, (Ranges{{1, 1}, {0, 0}}));
}

QTEST_GUILESS_MAIN(TestChangedRows)
#include "tst_changedrows.moc"
