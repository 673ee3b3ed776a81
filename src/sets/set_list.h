#pragma once

#include <QStringList>

class QComboBox;
class QWidget;

namespace quillmere {

class WindowPointer;

// The controls the sets' commands work on: the set list, held as two parallel lists (entry i of
// Combo2 is the replacement for entry i of Combo1), the main window that owns the Load Sets
// dialog, and its pointer, whose hourglass marks a run at work.
struct SetControls {
    QComboBox* Combo1;
    QComboBox* Combo2;
    QWidget* window;
    WindowPointer* pointer;
};

// The counts are 16-bit: the set list holds at most this many pairs.
inline constexpr int kMaxPairs = 32767;

bool SetListIsFull(const SetControls& sets);
// Appends a find text; throws Failure when the list is full. Neither append changes which entry
// is selected, or that none is.
void AppendFind(const SetControls& sets, const QString& text);
// Appends a replacement only while Combo2 is one entry behind Combo1, so that a find text that
// could not be added never leaves a replacement without its pair.
void AppendReplacement(const SetControls& sets, const QString& text);
// Removes the selected entry, after which none is selected; nothing when none is.
void RemoveSelected(QComboBox* list);
QStringList TextsOf(const QComboBox* list);
// From now on each list, while none of its entries is selected, says how many it holds ("3
// pairs"), so that a list of pairs never looks empty.
void ShowPairCounts(const SetControls& sets);

}  // namespace quillmere
