#pragma once

#include "platform/dialogs.h"

namespace quillmere {

class EventLoop;

// The real dialogs: Qt's message boxes, input dialog and file dialogs. Once the program is
// ending, no dialog is shown any more and each call unwinds the running command.
class QtDialogs : public Dialogs {
  public:
    explicit QtDialogs(EventLoop& events) : m_events(events) {}

    Answer message(const Message& message) override;
    std::optional<QString> prompt(const QString& text, const QString& initial) override;
    QString openFiles(const OpenFilesRequest& request) override;
    QString saveFile(const QString& title, const QString& initialPath,
                     const QString& filter) override;
    QString browseFolder(const QString& prompt, const QString& initialFolder) override;
    void showModal(QDialog& window) override;

  private:
    void checkEnding() const;
    EventLoop& m_events;
};

// CR LF, lone CR and lone LF all become one line break for display.
QString DisplayText(const QString& text);

// Joins a dialog's chosen files into the classic result: one path alone, or the common folder
// followed by each name, NUL-separated; files of several folders are an empty piece followed by
// each full path.
QString ClassicMultiSelect(const QStringList& paths);

}  // namespace quillmere
