#include "core/console/ChangedRows.h"

#include <QElapsedTimer>
#include <algorithm>

namespace kestrava {

ChangedRows::ChangedRows(Signal signal)
    : m_signal(std::move(signal)) {
    m_pass.setSingleShot(true);
    m_pass.callOnTimeout([this] {
        if (hand(kSlice))
            m_pass.start(0);
    });
}

void ChangedRows::add(const TreeNode* parent, int row) {
    if (!m_pass.isActive()) {
        m_pass.start(0);
        m_signal(parent, row, row);
        return;
    }
    const auto it = m_ranges.find(parent);
    if (it == m_ranges.end())
        m_ranges.insert(parent, {row, row});
    else
        *it = {std::min(it->first, row), std::max(it->second, row)};
}

bool ChangedRows::hand(std::optional<std::chrono::milliseconds> budget) {
    QElapsedTimer spent;
    spent.start();
    while (!m_ranges.isEmpty() && (!budget || spent.elapsed() < budget->count())) {
        // Taken out before signalling: a receiver may add rows again.
        const auto it = m_ranges.begin();
        const TreeNode* parent = it.key();
        const auto [first, last] = *it;
        const int end = std::min(last, first + kRowsPerRange - 1);
        if (end == last)
            m_ranges.erase(it);
        else
            it->first = end + 1;
        m_signal(parent, first, end);
    }
    return !m_ranges.isEmpty();
}

} // namespace kestrava
