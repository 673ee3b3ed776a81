#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QDialog;

namespace quillmere {

enum class MessageIcon { None, Warning };
enum class MessageButtons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

// One message box: texts keep their CR and LF characters exactly; only the Qt layer turns
// them into line breaks for display.
struct Message {
    QString caption;
    QString text;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
    // Shown on request below the text ("Show Details..."); none when empty.
    QString details = {};
};

struct OpenFilesRequest {
    QString title;
    QString initialFolder;
    QStringList filters;  // "MS Project Files (*.mpp)", ...
    // One file only: the result is then always one full path.
    bool multiSelect = true;
};

// Every prompt the program shows goes through here, so tests can script the answers.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // The caption of every message box and prompt that names none of its own.
    void setApplicationTitle(const QString& title) { m_applicationTitle = title; }
    const QString& applicationTitle() const { return m_applicationTitle; }

    // Plain information: OK button, no icon, the application title; details, when given, are
    // shown on request.
    void inform(const QString& text, const QString& details = {});
    // Question with Yes (first, default) and No, no icon: true only for Yes.
    bool ask(const QString& text);
    // Warning icon and an OK button, under the caption given.
    void warn(const QString& caption, const QString& text);

    virtual Answer message(const Message& message) = 0;
    // A text prompt: the typed text, or nothing when cancelled.
    virtual std::optional<QString> prompt(const QString& text, const QString& initial) = 0;
    // The classic multi-select result: one full path, or the folder followed by the chosen
    // names, separated by NUL characters; files of several folders come as an empty folder
    // piece followed by their full paths. Empty when cancelled.
    virtual QString openFiles(const OpenFilesRequest& request) = 0;
    // A path to save to, or empty when cancelled.
    virtual QString saveFile(const QString& title, const QString& initialPath,
                             const QString& filter) = 0;
    // A folder, or empty when cancelled.
    virtual QString browseFolder(const QString& prompt, const QString& initialFolder) = 0;
    // Shows one of the program's own windows modally; returns when it has closed.
    virtual void showModal(QDialog& window) = 0;

  private:
    QString m_applicationTitle;
};

}  // namespace quillmere
