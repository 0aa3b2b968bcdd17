#pragma once

#include <QString>
#include <QtGlobal>
#include <vector>

namespace kestrava::bench {

// Answer latencies in buckets: 10 us wide below 100 ms, 1 ms wide up to 10 s, then one overflow bucket.
// Workers send theirs as text; the runner adds them up and reads percentiles.
class LatencyHistogram {
public:
    LatencyHistogram();

    void add(qint64 ns);
    void merge(const LatencyHistogram& other);
    qint64 count() const { return m_count; }
    // The upper edge of the bucket that holds the p-th fraction (0..1) of all samples, in ns.
    qint64 percentileNs(double p) const;

    // "index:count" pairs of the buckets that are not empty, comma-separated.
    QString toText() const;
    static LatencyHistogram fromText(const QString& text);

private:
    static int bucketOf(qint64 ns);
    static qint64 upperEdgeNs(int bucket);

    std::vector<qint64> m_buckets;
    qint64 m_count = 0;
};

} // namespace kestrava::bench
