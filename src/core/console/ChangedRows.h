#pragma once

#include <QHash>
#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace kestrava {

struct TreeNode;

// Rows of a model changed since they were last signalled, as one range per parent. They are handed out
// in pieces: a view walks every row of a changed range, and 19,000 rows in one signal would hold the
// event loop for the better part of a second.
class ChangedRows {
public:
    using Signal = std::function<void(const TreeNode* parent, int first, int last)>;

    static constexpr int kRowsPerRange = 256;
    // What a model spends signalling in one pass of the event loop before it lets other events in.
    static constexpr std::chrono::milliseconds kSlice{4};

    void add(const TreeNode* parent, int row);
    bool isEmpty() const { return m_ranges.isEmpty(); }
    void clear() { m_ranges.clear(); }
    // Signals ranges of at most kRowsPerRange rows until none is left or the budget is spent (none:
    // all of them). Returns whether rows are left.
    bool hand(const Signal& signal, std::optional<std::chrono::milliseconds> budget = std::nullopt);

private:
    QHash<const TreeNode*, std::pair<int, int>> m_ranges;
};

} // namespace kestrava
