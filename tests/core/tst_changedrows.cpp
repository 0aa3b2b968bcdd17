#include "core/console/ChangedRows.h"

#include <QElapsedTimer>
#include <QTest>

using namespace kestrava;

using Ranges = QList<std::pair<int, int>>;
Q_DECLARE_METATYPE(Ranges)

class TestChangedRows : public QObject {
    Q_OBJECT
private slots:
    void firstAtOnceRestInLimitedRanges_data();
    void firstAtOnceRestInLimitedRanges();
    void gatheredRowsFollowInLaterPasses();
};

void TestChangedRows::firstAtOnceRestInLimitedRanges_data() {
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<Ranges>("signalled");
    constexpr int limit = ChangedRows::kRowsPerRange;
    QTest::newRow("later rows as one span") << QList<int>{4, 9, 3, 5} << Ranges{{4, 4}, {3, 9}};
    QTest::newRow("one row more than a range")
        << QList<int>{0, 0, limit} << Ranges{{0, 0}, {0, limit - 1}, {limit, limit}};
}

void TestChangedRows::firstAtOnceRestInLimitedRanges() {
    QFETCH(QList<int>, rows);
    QFETCH(Ranges, signalled);
    Ranges got;
    ChangedRows changed([&got](const TreeNode*, int first, int last) { got.append({first, last}); });
    for (int row : rows)
        changed.add(nullptr, row);
    QCOMPARE(got.size(), 1);
    changed.flush();
    QCOMPARE(got, signalled);
}

void TestChangedRows::gatheredRowsFollowInLaterPasses() {
    int rows = 0;
    // A view that takes a while for each range: the ranges need more passes than one.
    ChangedRows changed([&rows](const TreeNode*, int first, int last) {
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 1) {
        }
        rows += last - first + 1;
    });
    for (int row = 0; row < 20'000; ++row)
        changed.add(nullptr, row);
    QCOMPARE(rows, 1);
    QTRY_COMPARE(rows, 20'000);
}

QTEST_GUILESS_MAIN(TestChangedRows)
#include "tst_changedrows.moc"
