#include "core/console/ChangedRows.h"

#include <QElapsedTimer>
#include <QTest>
#include <numeric>

using namespace kestrava;

using Ranges = QList<std::pair<int, int>>;
Q_DECLARE_METATYPE(Ranges)

class TestChangedRows : public QObject {
    Q_OBJECT
private slots:
    void firstAtOnceRestInLimitedRanges_data();
    void firstAtOnceRestInLimitedRanges();
};

// The first change is signalled at once, the rest when flushed, or in later passes of the loop (rows
// 0 to 19,999 with a slow view, which takes more passes than one).
void TestChangedRows::firstAtOnceRestInLimitedRanges_data() {
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<bool>("flush");
    QTest::addColumn<Ranges>("signalled");
    constexpr int limit = ChangedRows::kRowsPerRange;
    QTest::newRow("later rows as one span") << QList<int>{4, 9, 3, 5} << true << Ranges{{4, 4}, {3, 9}};
    QTest::newRow("one row more than a range")
        << QList<int>{0, 0, limit} << true << Ranges{{0, 0}, {0, limit - 1}, {limit, limit}};
    QList<int> many(20'000);
    std::iota(many.begin(), many.end(), 0);
    Ranges later{{0, 0}};
    for (int first = 1; first < 20'000; first += limit)
        later.append({first, std::min(first + limit - 1, 19'999)});
    QTest::newRow("passes of the loop") << many << false << later;
}

void TestChangedRows::firstAtOnceRestInLimitedRanges() {
    QFETCH(QList<int>, rows);
    QFETCH(bool, flush);
    QFETCH(Ranges, signalled);
    Ranges got;
    ChangedRows changed([&](const TreeNode*, int first, int last) {
        got.append({first, last});
        // A view that takes a while for each range, when the loop hands them out.
        QElapsedTimer busy;
        busy.start();
        while (!flush && busy.elapsed() < 1) {
        }
    });
    for (int row : rows)
        changed.add(nullptr, row);
    QCOMPARE(got.size(), 1);
    if (flush)
        changed.flush();
    QTRY_COMPARE(got, signalled);
}

QTEST_GUILESS_MAIN(TestChangedRows)
#include "tst_changedrows.moc"
