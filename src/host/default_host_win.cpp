// On Windows the project host is Microsoft Project, driven through its automation server.

#include "host/com/com_error.h"
#include "host/com/project_automation.h"
#include "host/com/wait_box.h"
#include "host/host.h"
#include "platform/failure.h"

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <memory>

namespace quillmere {
namespace {

// Runs an automation call and turns its failure into the host interface's, with the HRESULT
// as the number.
template <typename Call>
auto Translated(Call&& call) -> decltype(call()) {
    try {
        return call();
    } catch (const com::ComError& error) {
        throw Failure(long(error.hr()), QString::fromStdWString(error.description()));
    }
}

class AutomationHost : public HostInstance {
  public:
    explicit AutomationHost(std::unique_ptr<com::ProjectAutomation> project)
        : m_project(std::move(project)) {}

    QString name() override {
        return Translated([&] { return QString::fromStdWString(m_project->name()); });
    }
    void fileOpen(const QString& path) override {
        Translated([&] { m_project->fileOpen(path.toStdWString()); });
    }
    // Project's Replace says only whether anything changed, not how many values.
    int replace(const ReplaceArgs& a) override {
        const bool changed = Translated([&] {
            return m_project->replace({a.field.toStdWString(), a.test.toStdWString(),
                                       a.value.toStdWString(), a.replacement.toStdWString(),
                                       a.replaceAll, a.next, a.matchCase});
        });
        return changed ? kChangedUncounted : 0;
    }
    void fileSaveAs(const QString& path) override {
        Translated([&] { m_project->fileSaveAs(path.toStdWString()); });
    }
    void quit() override {
        Translated([&] { m_project->quit(); });
    }

  private:
    std::unique_ptr<com::ProjectAutomation> m_project;
};

class AutomationHostFactory : public HostFactory {
  public:
    explicit AutomationHostFactory(com::StepDeadline deadline)
        : m_deadline(std::move(deadline)), m_ownRule(m_deadline.onWaitingForAnotherRun) {}

    std::unique_ptr<HostInstance> create(const QString& className) override {
        return Translated([&] {
            return std::make_unique<AutomationHost>(
                com::ProjectAutomation::Create(className.toStdWString(), m_deadline));
        });
    }
    // The caller's way to show that another run holds Project, and to give the wait up; empty:
    // the factory's own rule again.
    void setWhileWaiting(WhileWaiting whileWaiting) override {
        if (!whileWaiting) {
            m_deadline.onWaitingForAnotherRun = m_ownRule;
            return;
        }
        // A takeover is said where a wait on the user is: it lasts no longer than one yield.
        m_deadline.onWaitingForAnotherRun =
            [whileWaiting = std::move(whileWaiting),
             told = m_deadline.onUserWaited](const com::AnotherRun& run) {
                if (!run.takenOver) return whileWaiting(QString::fromStdWString(run.text));
                if (told) told(run.text);
                return true;
            };
    }
    std::unique_ptr<HostInstance> attach(const QString& className) override {
        return Translated([&] {
            return std::make_unique<AutomationHost>(
                com::ProjectAutomation::Attach(className.toStdWString()));
        });
    }

  private:
    // The factory is made on the window's thread at start-up: that thread's apartment.
    com::Apartment m_apartment;
    com::StepDeadline m_deadline;
    com::WaitingForAnotherRun m_ownRule;  // how a wait for another run goes unless told otherwise
};

}  // namespace

std::unique_ptr<HostFactory> MakeDefaultHostFactory(std::chrono::seconds stepDeadline,
                                                    WaitShown waitShown) {
    com::StepDeadline deadline;
    deadline.limit = stepDeadline;
    if (waitShown == WaitShown::InAMessageBox) {
        // A window program has no terminal: the box stays until Project answers.
        auto box = std::make_shared<com::WaitBox>();
        deadline.onUserWaited = [box](const std::wstring& text) { box->show(text); };
        deadline.onAnswered = [box] { box->close(); };
        // Until a run says how to show a wait (setWhileWaiting), another run's hold is not waited
        // for: the window would freeze without a word. The start-up check then counts Project
        // as installed.
        deadline.onWaitingForAnotherRun = [](const com::AnotherRun&) { return false; };
    } else {
        deadline.onUserWaited = [](const std::wstring& text) {
            std::fwprintf(stderr, L"%ls\n", text.c_str());
        };
        // Said once, and given up after the step deadline: the file then fails, saying why.
        deadline.onWaitingForAnotherRun = [bound = deadline.limit](const com::AnotherRun& run) {
            if (run.waited == std::chrono::milliseconds(0) || run.takenOver)
                std::fwprintf(stderr, L"%ls\n", run.text.c_str());
            return run.waited < bound;
        };
    }
    return std::make_unique<AutomationHostFactory>(std::move(deadline));
}

}  // namespace quillmere
