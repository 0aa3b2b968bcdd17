#pragma once

#include <QHash>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace kestrava {

struct TreeNode;

// The row changes a model signals to its views. The first change in a pass of the event loop is
// signalled at once; later ones of the pass are gathered as one range per parent and signalled when
// control is back in the loop, in ranges of at most kRowsPerRange rows and kSlice of the loop's time per
// pass: a view walks every row of a changed range, and 19,000 rows in one signal would hold the loop for
// the better part of a second.
class ChangedRows {
public:
    using Signal = std::function<void(const TreeNode* parent, int first, int last)>;

    static constexpr int kRowsPerRange = 256;
    static constexpr std::chrono::milliseconds kSlice{4};

    explicit ChangedRows(Signal signal);
    ChangedRows(const ChangedRows&) = delete;
    ChangedRows& operator=(const ChangedRows&) = delete;

    void add(const TreeNode* parent, int row);
    // Signals everything gathered: the rows are about to move.
    void flush() { hand(std::nullopt); }
    // Forgets what was gathered: the model is reset, which repaints every row.
    void clear() { m_ranges.clear(); }

private:
    // Returns whether rows are left.
    bool hand(std::optional<std::chrono::milliseconds> budget);

    Signal m_signal;
    // Active from the first change signalled in a pass until the rest of the pass is signalled.
    QTimer m_pass;
    QHash<const TreeNode*, std::pair<int, int>> m_ranges;
};

} // namespace kestrava
