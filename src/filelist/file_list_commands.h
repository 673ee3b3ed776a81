#pragma once

#include "platform/services.h"

#include <QPersistentModelIndex>
#include <QStringList>

#include <memory>

class QMimeData;
class QObject;
class QPoint;
class QTreeWidget;

namespace quillmere {

class EntryList;
class ErrorReport;
class WindowPointer;

// The controls the file list's commands work on.
struct FileListControls {
    QTreeWidget* ListView1;
    // The hourglass marks a run or an import at work: the commands that remove entries wait.
    WindowPointer* pointer;
};

// The file list's commands: removing, clearing, reordering by dragging, dropping, the add
// dialog, the folder import and the sample files. The list control is the only store of the
// entries.
class FileListCommands {
  public:
    FileListCommands(Services& services, ErrorReport& report, const FileListControls& controls);
    ~FileListCommands();

    EntryList& entries() { return *m_entries; }

    void ListView1_KeyDown(int keyCode);
    void ListView1_DblClick();
    void PushButton2_Click();
    void ListView1_MouseDown(const QPoint& position);
    void ListView1_ItemClick();
    void ListView1_MouseMove(const QPoint& position, const QPoint& globalPosition);
    void ListView1_MouseUp();
    bool ListView1_OLEDragOver(const QMimeData* data);
    void ListView1_OLEDragDrop(const QStringList& paths);
    void PushButton3_Click();
    void PushButton6_Click();
    void PushButton8_Click();

  private:
    bool isBusy() const;
    void removeSelectedEntry();
    void swapWithEntryAt(const QPoint& position, const QPoint& globalPosition);
    void showDragPointer();
    // The folder import; gives the links it did not follow, for one message after it.
    QStringList importFolder(const QString& folder, const QString& pattern);
    void sayLinksNotFollowed(const QStringList& links);
    void ValidateListFiles();

    Services& m_services;
    ErrorReport& m_report;
    FileListControls c;
    std::unique_ptr<EntryList> m_entries;
    // Routes the control's events here; owned here, so it goes before the window's controls.
    std::unique_ptr<QObject> m_events;
    // The reorder drag: a button is down, and the entry that follows the pointer.
    bool m_pressed = false;
    QPersistentModelIndex m_dragged;
};

}  // namespace quillmere
