#include "host/builtin/xml_two_parts.h"

#include "platform/threads.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillmere::builtin {
namespace {

// How far back a comment or CDATA section that holds a place is looked for. One that starts
// further back is rare; the readers still find it, at the cost of reading the file once more.
const qsizetype kLookBack = qsizetype(1) << 16;

// Where the comment or CDATA section that holds the place, and starts not far before it, ends;
// -1 when none does.
qsizetype EndOfMarkupAround(QByteArrayView bytes, qsizetype at) {
    const qsizetype from = std::max(qsizetype(0), at - kLookBack);
    const QByteArrayView before = bytes.sliced(from, at - from);
    for (const auto& [open, close] : {std::pair("<!--", "-->"), std::pair("<![CDATA[", "]]>")}) {
        if (before.lastIndexOf(open) <= before.lastIndexOf(close)) continue;
        const qsizetype end = bytes.indexOf(close, at);
        return end < 0 ? bytes.size() : end + qsizetype(std::strlen(close));
    }
    return -1;
}

// Whether the next task's start tag, or the tasks' end tag, follows the place after white space.
bool TaskOrEndFollows(QByteArrayView bytes, qsizetype at) {
    while (at < bytes.size() && QByteArrayView(" \t\r\n").contains(bytes[at])) ++at;
    const QByteArrayView rest = bytes.sliced(at);
    return rest.startsWith("<Task>") || rest.startsWith("</Tasks>");
}

}  // namespace

std::optional<SplitPoints> FindSplitPoints(QByteArrayView bytes) {
    const QByteArrayView tasks("<Tasks>"), taskEnd("</Task>");
    const qsizetype open = bytes.indexOf(tasks);
    const qsizetype close = bytes.lastIndexOf("</Tasks>");
    if (open < 0 || close < open) return std::nullopt;
    // The parser caps how far the expansions of a document type's entities may outgrow the
    // bytes read, over all it has read so far; each part alone would count less than one reading
    // does. Such a file, never one that Project writes, is read in one part.
    if (bytes.first(open).contains("<!DOCTYPE")) return std::nullopt;
    const qsizetype head = open + tasks.size();
    // Both readers read the head; each then takes about half of the tasks.
    qsizetype end = bytes.indexOf(taskEnd, head + (close - head) / 2);
    for (int tries = 0; end >= 0 && end < close && tries < 16; ++tries) {
        const qsizetype after = end + taskEnd.size();
        if (const qsizetype markupEnd = EndOfMarkupAround(bytes, end); markupEnd >= 0)
            end = bytes.indexOf(taskEnd, markupEnd);
        else if (TaskOrEndFollows(bytes, after))
            return SplitPoints{head, after};
        else
            end = bytes.indexOf(taskEnd, after);
    }
    return std::nullopt;
}

bool ReadInTwoParts(const std::function<bool()>& first, const std::function<bool()>& second) {
    // A part that throws is read again in one reading, which says what went wrong.
    const auto read = [](const std::function<bool()>& part) {
        try {
            return part();
        } catch (...) {
            return false;
        }
    };
    bool secondRead = false;
    auto worker = StartThread([&](std::stop_token) { secondRead = read(second); });
    if (!worker.joinable()) return false;
    const bool firstRead = read(first);
    worker.join();
    return firstRead && secondRead;
}

}  // namespace quillmere::builtin
