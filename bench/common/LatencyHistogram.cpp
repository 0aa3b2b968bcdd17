#include "LatencyHistogram.h"

#include <QStringList>

namespace kestrava::bench {

namespace {
constexpr qint64 kFineWidthNs = 10'000;      // 10 us
constexpr int kFineBuckets = 10'000;         // up to 100 ms
constexpr qint64 kCoarseWidthNs = 1'000'000; // 1 ms
constexpr int kCoarseBuckets = 9'900;        // up to 10 s
constexpr int kBuckets = kFineBuckets + kCoarseBuckets + 1;
} // namespace

LatencyHistogram::LatencyHistogram()
    : m_buckets(kBuckets, 0) {}

int LatencyHistogram::bucketOf(qint64 ns) {
    if (ns < 0)
        ns = 0;
    if (ns < kFineWidthNs * kFineBuckets)
        return static_cast<int>(ns / kFineWidthNs);
    const qint64 coarse = (ns - kFineWidthNs * kFineBuckets) / kCoarseWidthNs;
    return coarse < kCoarseBuckets ? kFineBuckets + static_cast<int>(coarse) : kBuckets - 1;
}

qint64 LatencyHistogram::upperEdgeNs(int bucket) {
    if (bucket < kFineBuckets)
        return (bucket + 1) * kFineWidthNs;
    return kFineWidthNs * kFineBuckets + qint64(bucket - kFineBuckets + 1) * kCoarseWidthNs;
}

void LatencyHistogram::add(qint64 ns) {
    ++m_buckets[static_cast<std::size_t>(bucketOf(ns))];
    ++m_count;
}

void LatencyHistogram::merge(const LatencyHistogram& other) {
    for (std::size_t i = 0; i < m_buckets.size(); ++i)
        m_buckets[i] += other.m_buckets[i];
    m_count += other.m_count;
}

qint64 LatencyHistogram::percentileNs(double p) const {
    if (m_count == 0)
        return 0;
    const auto wanted = static_cast<qint64>(p * static_cast<double>(m_count) + 0.5);
    qint64 seen = 0;
    for (std::size_t i = 0; i < m_buckets.size(); ++i) {
        seen += m_buckets[i];
        if (seen >= std::max<qint64>(1, wanted))
            return upperEdgeNs(static_cast<int>(i));
    }
    return upperEdgeNs(kBuckets - 1);
}

QString LatencyHistogram::toText() const {
    QStringList pairs;
    for (std::size_t i = 0; i < m_buckets.size(); ++i) {
        if (m_buckets[i] != 0)
            pairs << QStringLiteral("%1:%2").arg(i).arg(m_buckets[i]);
    }
    return pairs.join(QLatin1Char(','));
}

LatencyHistogram LatencyHistogram::fromText(const QString& text) {
    LatencyHistogram histogram;
    for (const QString& pair : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int colon = pair.indexOf(QLatin1Char(':'));
        const int bucket = pair.left(colon).toInt();
        const qint64 count = pair.mid(colon + 1).toLongLong();
        if (colon <= 0 || bucket < 0 || bucket >= kBuckets)
            continue;
        histogram.m_buckets[static_cast<std::size_t>(bucket)] += count;
        histogram.m_count += count;
    }
    return histogram;
}

} // namespace kestrava::bench
