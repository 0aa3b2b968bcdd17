#include "console/ChangedRows.h"

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
    void rowsAddedWhileSignallingAreSignalledToo();
};

void TestChangedRows::firstAtOnceRestInLimitedRanges_data() {
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<Ranges>("signalled");
    constexpr int limit = ChangedRows::kRowsPerRange;
    QTest::newRow("one row") << QList<int>{7} << Ranges{{7, 7}};
    QTest::newRow("later rows as one span") << QList<int>{4, 9, 3, 5} << Ranges{{4, 4}, {3, 9}};
    QTest::newRow("one row more than a range")
        << QList<int>{0, 0, limit} << Ranges{{0, 0}, {0, limit - 1}, {limit, limit}};
    Ranges drop{{5, 5}};
    for (int first = 0; first < 19'000; first += limit)
        drop.append({first, std::min(first + limit, 19'000) - 1});
    QTest::newRow("a mass drop") << QList<int>{5, 18'999, 0} << drop;
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

void TestChangedRows::rowsAddedWhileSignallingAreSignalledToo() {
    Ranges got;
    ChangedRows* self = nullptr;
    ChangedRows changed([&](const TreeNode* parent, int first, int last) {
        got.append({first, last});
        if (first == 2)
            self->add(parent, 0);
    });
    self = &changed;
    changed.add(nullptr, 1);
    changed.add(nullptr, 2);
    changed.flush();
    QCOMPARE(got, (Ranges{{1, 1}, {2, 2}, {0, 0}}));
}

QTEST_GUILESS_MAIN(TestChangedRows)
#include "tst_changedrows.moc"
