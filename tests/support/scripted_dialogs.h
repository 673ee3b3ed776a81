#pragma once

#include "platform/dialogs.h"
#include "support/qt_printers.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace quillmere::testing {

// One prompt as the program showed it.
struct ShownPrompt {
    QString kind;  // "message", "prompt", "openFiles", "saveFile", "browseFolder", "modal"
    QString caption;
    QString text;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
    QString details = {};
};

// Dialogs for tests: answers come from a queue of expected prompts; every prompt is recorded;
// a prompt that nothing expected fails the test at once. Error reports ("Application Error"
// boxes) are recorded and answered OK when the test allows them.
class ScriptedDialogs : public Dialogs {
  public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // An expected message box; with a text, the shown text must equal it.
    ScriptedDialogs& expectMessage(std::optional<QString> text, Answer answer = Answer::Ok);
    ScriptedDialogs& expectPrompt(std::optional<QString> answer);
    ScriptedDialogs& expectOpenFiles(const QString& result);
    // The open dialog fails with the given error number instead of answering.
    ScriptedDialogs& expectOpenFilesFailure(long number);
    ScriptedDialogs& expectSaveFile(const QString& result);
    ScriptedDialogs& expectBrowseFolder(const QString& result);
    // An expected modal window: it is shown, the user's part runs on it, and the call returns.
    ScriptedDialogs& expectModal(std::function<void(QDialog&)> user);
    void allowErrorReports(bool allow = true) { m_allowErrorReports = allow; }
    // Runs while the next prompt is "open", as a user acting behind a modal box.
    void whilePromptOpen(std::function<void()> action) { m_whileOpen = std::move(action); }

    const std::vector<ShownPrompt>& shown() const { return m_shown; }
    std::vector<ShownPrompt> errorReports() const;
    std::vector<int> errorReportLines() const;
    bool allExpectedShown() const { return m_expected.empty(); }

    Answer message(const Message& message) override;
    std::optional<QString> prompt(const QString& text, const QString& initial) override;
    QString openFiles(const OpenFilesRequest& request) override;
    QString saveFile(const QString& title, const QString& initialPath,
                     const QString& filter) override;
    QString browseFolder(const QString& prompt, const QString& initialFolder) override;
    void showModal(QDialog& window) override;

  private:
    struct Expected {
        QString kind;
        std::optional<QString> text;
        Answer answer = Answer::Ok;
        std::optional<QString> result;
        std::optional<long> failure;
        std::function<void(QDialog&)> user = {};
    };
    std::optional<Expected> take(const ShownPrompt& prompt);

    std::deque<Expected> m_expected;
    std::vector<ShownPrompt> m_shown;
    bool m_allowErrorReports = false;
    std::function<void()> m_whileOpen;
};

}  // namespace quillmere::testing
