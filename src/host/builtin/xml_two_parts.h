#pragma once

#include <QByteArrayView>

#include <functional>
#include <optional>

namespace quillmere::builtin {

// Where a large Project XML file may be read in two parts at once, from its bytes alone: the end
// of the <Tasks> start tag, and the end of a </Task> tag about halfway through the tasks. The
// readers of the parts check both, and the file is read in one part when either is not what it
// looks like.
struct SplitPoints {
    qsizetype head = 0;   // the first part, [0, head), is read by both readers
    qsizetype split = 0;  // the first reader reads up to here, the second from here on
};

// Nothing when the bytes show no split that is likely to hold: a task's end tag is taken only
// outside a comment or CDATA section and before the next task or the tasks' end, so that the
// second reader is seldom started, and the first half read, for a split that then fails.
std::optional<SplitPoints> FindSplitPoints(QByteArrayView bytes);

// Runs second on a thread of its own while first runs on this one. True when both read their
// part; false when either did not or threw, or when no thread was to be had (then neither ran).
bool ReadInTwoParts(const std::function<bool()>& first, const std::function<bool()>& second);

}  // namespace quillmere::builtin
