#include "sets/set_list.h"

#include "platform/failure.h"

#include <QComboBox>

namespace quillmere {
namespace {

void AppendKeepingSelection(QComboBox* list, const QString& text) {
    // The first entry of an empty list would become selected on its own.
    const bool noneSelected = list->currentIndex() < 0;
    list->addItem(text);
    if (noneSelected) list->setCurrentIndex(-1);
}

// Shown while no entry is selected; nothing for an empty list.
void ShowCount(QComboBox* list) {
    const int count = list->count();
    list->setPlaceholderText(count == 0   ? QString()
                             : count == 1 ? QStringLiteral("1 pair")
                                          : QStringLiteral("%1 pairs").arg(count));
}

void KeepCountShown(QComboBox* list) {
    const QAbstractItemModel* model = list->model();
    const auto show = [list] { ShowCount(list); };
    QObject::connect(model, &QAbstractItemModel::rowsInserted, list, show);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, list, show);
    QObject::connect(model, &QAbstractItemModel::modelReset, list, show);
    ShowCount(list);
}

}  // namespace

bool SetListIsFull(const SetControls& sets) {
    return sets.Combo1->count() >= kMaxPairs;
}

void AppendFind(const SetControls& sets, const QString& text) {
    if (SetListIsFull(sets))
        throw Failure(errors::kOverflow,
                      QStringLiteral("The set list is full: it holds at most 32,767 pairs."));
    AppendKeepingSelection(sets.Combo1, text);
}

void AppendReplacement(const SetControls& sets, const QString& text) {
    if (sets.Combo2->count() < sets.Combo1->count()) AppendKeepingSelection(sets.Combo2, text);
}

void RemoveSelected(QComboBox* list) {
    const int selected = list->currentIndex();
    if (selected < 0) return;
    list->removeItem(selected);
    // The list would select a neighbour on its own; a second press must not remove it too.
    list->setCurrentIndex(-1);
}

QStringList TextsOf(const QComboBox* list) {
    QStringList texts;
    texts.reserve(list->count());
    for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
    return texts;
}

void ShowPairCounts(const SetControls& sets) {
    KeepCountShown(sets.Combo1);
    KeepCountShown(sets.Combo2);
}

}  // namespace quillmere
