// The file list's own commands: removing entries, clearing, reordering by dragging, and the
// filter that lets only file lists be dropped.

#include "filelist/file_list_commands.h"

#include "controls/cursor_file.h"
#include "controls/window_pointer.h"
#include "filelist/entry_list.h"
#include "platform/failure.h"
#include "report/guard.h"
#include "report/locations.h"

#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QUrl>

namespace quillmere {
namespace {

const int kDeleteKey = 46;
// Screen rows (pixels from the top of the screen) above and below which a swap scrolls.
const int kScrollUpBelow = 305;
const int kScrollDownFrom = 365;

// One entry: its text is the whole path, and so is its tooltip, which thus goes with the text
// when a drag swaps the texts of two entries.
class PathItem : public QTreeWidgetItem {
  public:
    explicit PathItem(const QString& path) : QTreeWidgetItem(QStringList{path}) {}
    QVariant data(int column, int role) const override {
        return QTreeWidgetItem::data(column, role == Qt::ToolTipRole ? Qt::DisplayRole : role);
    }
};

// The list control seen as entries.
class ListViewEntries : public EntryList {
  public:
    explicit ListViewEntries(QTreeWidget* view) : m_view(view) {}
    int count() const override { return m_view->topLevelItemCount(); }
    QString text(int position) const override {
        const QTreeWidgetItem* item = m_view->topLevelItem(position);
        if (!item) throw Failure(errors::kIndexOutOfBounds, QStringLiteral("Index out of bounds"));
        return item->text(0);
    }
    void append(const QStringList& paths) override {
        QList<QTreeWidgetItem*> items;
        for (const QString& path : paths) items << new PathItem(path);
        m_view->addTopLevelItems(items);
    }
    void remove(int position) override {
        QTreeWidgetItem* item = m_view->takeTopLevelItem(position);
        if (!item) throw Failure(errors::kIndexOutOfBounds, QStringLiteral("Index out of bounds"));
        delete item;
    }

  private:
    QTreeWidget* m_view;
};

// The only local files of a drag, as native paths; empty when it carries anything else.
QStringList DroppedFiles(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) return {};
        paths << QDir::toNativeSeparators(url.toLocalFile());
    }
    return paths;
}

// Routes the list control's keys, mouse and drag events to the list's commands. Not a child of
// any control: the commands own it, and it goes before the window's controls do, so no event of
// a dying control reaches commands that are already gone.
class ListViewEvents : public QObject {
  public:
    ListViewEvents(FileListCommands& commands, QTreeWidget* view)
        : m_commands(commands), m_view(view) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_view) return key(event);
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                m_commands.ListView1_MouseDown(mouse->position().toPoint());
                return false;
            }
            case QEvent::MouseMove: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                m_commands.ListView1_MouseMove(mouse->position().toPoint(),
                                               mouse->globalPosition().toPoint());
                return true;  // no rubber band or drag-out of the view's own
            }
            case QEvent::MouseButtonRelease:
                m_commands.ListView1_MouseUp();
                return false;
            case QEvent::MouseButtonDblClick:
                m_commands.ListView1_DblClick();
                return true;
            case QEvent::DragEnter:
            case QEvent::DragMove:
                return dragOver(static_cast<QDragMoveEvent*>(event));
            case QEvent::Drop:
                return drop(static_cast<QDropEvent*>(event));
            default:
                return false;
        }
    }

  private:
    bool key(QEvent* event) {
        if (event->type() != QEvent::KeyPress) return false;
        if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Delete) return false;
        m_commands.ListView1_KeyDown(kDeleteKey);
        return true;
    }
    bool dragOver(QDragMoveEvent* event) {
        if (m_commands.ListView1_OLEDragOver(event->mimeData()))
            event->acceptProposedAction();
        else
            event->ignore();
        return true;
    }
    bool drop(QDropEvent* event) {
        const QStringList paths = DroppedFiles(event->mimeData());
        if (paths.isEmpty()) return true;
        event->acceptProposedAction();
        try {
            m_commands.ListView1_OLEDragDrop(paths);
        } catch (const ProgramEnding&) {
            // The window was closed while a dropped folder was being walked.
        }
        return true;
    }

    FileListCommands& m_commands;
    QTreeWidget* m_view;
};

}  // namespace

FileListCommands::FileListCommands(Services& services, ErrorReport& report,
                                   const FileListControls& controls)
    : m_services(services),
      m_report(report),
      c(controls),
      m_entries(std::make_unique<ListViewEntries>(c.ListView1)),
      m_events(std::make_unique<ListViewEvents>(*this, c.ListView1)) {
    c.ListView1->installEventFilter(m_events.get());
    c.ListView1->viewport()->installEventFilter(m_events.get());
    c.ListView1->viewport()->setMouseTracking(true);
    c.ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    c.ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c.ListView1->setDragDropMode(QAbstractItemView::NoDragDrop);
    c.ListView1->viewport()->setAcceptDrops(true);
    c.ListView1->setAcceptDrops(true);
}

FileListCommands::~FileListCommands() = default;

bool FileListCommands::isBusy() const {
    return c.pointer->busy();
}

// ---- removing

void FileListCommands::ListView1_KeyDown(int keyCode) {
    if (keyCode == kDeleteKey) removeSelectedEntry();
}

void FileListCommands::ListView1_DblClick() {
    removeSelectedEntry();
}

void FileListCommands::removeSelectedEntry() {
    if (isBusy() || c.ListView1->topLevelItemCount() == 0) return;
    // A list with entries but nothing selected: nothing to remove.
    QTreeWidgetItem* selected = c.ListView1->currentItem();
    if (!selected || !selected->isSelected()) return;
    delete c.ListView1->takeTopLevelItem(c.ListView1->indexOfTopLevelItem(selected));
}

void FileListCommands::PushButton2_Click() {
    Guard g(m_report, locations::kClearList);
    g.step(100, [&] {
        if (!isBusy()) c.ListView1->clear();
    });
}

// ---- reordering: the pressed entry's path follows the pointer by swapping texts

void FileListCommands::ListView1_MouseDown(const QPoint& position) {
    m_pressed = true;
    // Qt reports an item click on release: the press on an entry starts the drag here.
    if (QTreeWidgetItem* item = c.ListView1->itemAt(position)) {
        c.ListView1->setCurrentItem(item);
        ListView1_ItemClick();
    }
}

void FileListCommands::ListView1_ItemClick() {
    showDragPointer();
    m_dragged = QPersistentModelIndex(c.ListView1->currentIndex());
}

void FileListCommands::showDragPointer() {
    try {
        c.ListView1->viewport()->setCursor(LoadCursorFile(ProgramFile(m_services, "drag.ico")));
    } catch (const Failure&) {
        // Without our own pointer the platform's drag pointer says the same.
        c.ListView1->viewport()->setCursor(Qt::DragMoveCursor);
    }
}

void FileListCommands::ListView1_MouseMove(const QPoint& position, const QPoint& globalPosition) {
    if (!isBusy()) c.pointer->set(WindowPointer::Shape::Default);
    if (!m_pressed) return;
    swapWithEntryAt(position, globalPosition);
}

void FileListCommands::swapWithEntryAt(const QPoint& position, const QPoint& globalPosition) {
    QTreeWidgetItem* under = c.ListView1->itemAt(position);
    // An entry removed since it was pressed takes no part in a swap.
    QTreeWidgetItem* dragged =
        m_dragged.isValid() ? c.ListView1->topLevelItem(m_dragged.row()) : nullptr;
    if (!under || !dragged || under->text(0) == dragged->text(0)) return;
    const QString draggedText = dragged->text(0);
    dragged->setText(0, under->text(0));
    under->setText(0, draggedText);
    c.ListView1->setCurrentItem(under);
    m_dragged = QPersistentModelIndex(c.ListView1->indexFromItem(under));
    const int row = c.ListView1->indexOfTopLevelItem(under);
    if (globalPosition.y() < kScrollUpBelow && row >= 1)
        c.ListView1->scrollToItem(c.ListView1->topLevelItem(row - 1));
    else if (globalPosition.y() >= kScrollDownFrom && row + 1 < c.ListView1->topLevelItemCount())
        c.ListView1->scrollToItem(c.ListView1->topLevelItem(row + 1));
}

void FileListCommands::ListView1_MouseUp() {
    m_pressed = false;
    c.ListView1->viewport()->unsetCursor();
}

// ---- dropping

bool FileListCommands::ListView1_OLEDragOver(const QMimeData* data) {
    return !DroppedFiles(data).isEmpty();
}

}  // namespace quillmere
