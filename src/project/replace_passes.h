#pragma once

#include <QString>

#include <functional>

namespace quillmere {

class ErrorReport;
class HostFactory;

// What a pass needs besides its arguments: the host, the error report, and the Match Case box,
// read again before every Replace call (0 unchecked, 1 checked, 2 grayed). replaced, when
// given, hears the answer of every Replace call that returned: the field and the number of
// values it changed (kChangedUncounted when the host cannot count them). noted, when given,
// hears why a file may be left unchanged without anything failing (an empty find text).
struct PassContext {
    HostFactory& hosts;
    ErrorReport& report;
    std::function<int()> matchCaseValue;
    std::function<void(const QString& field, int changed)> replaced = {};
    std::function<void(const QString& why)> noted = {};
};

// A list of texts read live from a control: the count, and item i (from 0), which throws
// Failure for a position the list does not hold.
struct TextList {
    std::function<int()> count;
    std::function<QString(int)> item;
};

// Opens the source in a fresh host instance, replaces find by replacement in every field of
// the catalogue, saves under the output path and quits. Each failing step is reported and the
// pass goes on; it always returns normally.
void ReplaceByFileXY(const PassContext& context, const QString& sourcePath, const QString& find,
                     const QString& replacement, const QString& outputPath);

// The same for every pair of the set list in one opening: pairs outside, fields inside, each
// pair working on what the earlier ones left. Both items are read afresh for every call; the
// count comes from the find list alone, once.
void ReplaceByFileXYCombo(const PassContext& context, const QString& sourcePath,
                          const TextList& findList, const TextList& replacementList,
                          const QString& outputPath);

}  // namespace quillmere
