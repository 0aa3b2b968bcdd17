#include "console/ChangedRows.h"

#include <QElapsedTimer>
#include <algorithm>

namespace kestrava {

void ChangedRows::add(const TreeNode* parent, int row) {
    const auto it = m_ranges.find(parent);
    if (it == m_ranges.end())
        m_ranges.insert(parent, {row, row});
    else
        *it = {std::min(it->first, row), std::max(it->second, row)};
}

bool ChangedRows::hand(const Signal& signal, std::optional<std::chrono::milliseconds> budget) {
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
        signal(parent, first, end);
    }
    return !m_ranges.isEmpty();
}

} // namespace kestrava
