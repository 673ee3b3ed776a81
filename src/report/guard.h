#pragma once

#include "platform/failure.h"
#include "report/error_report.h"

#include <exception>
#include <utility>

namespace quillmere {

// Runs the numbered steps of one guarded procedure. A step that fails is reported with its
// number and the procedure goes on with the next step; nothing is retried. Whatever the failed
// step was to produce keeps its previous value, and a failure inside a routine that the step
// called abandons the rest of that routine. ProgramEnding is never caught here.
class Guard {
  public:
    Guard(ErrorReport& report, const char* location) : m_report(report), m_location(location) {}

    // Runs one step; false when it failed (and was reported).
    template <typename Step>
    bool step(int number, Step&& body) {
        try {
            std::forward<Step>(body)();
            return true;
        } catch (const Failure& failure) {
            m_report.show(failure.description(), m_location, number);
        } catch (const std::exception& error) {
            m_report.show(QString::fromLocal8Bit(error.what()), m_location, number);
        }
        return false;
    }

    // A test that guards the steps of its branch: when evaluating it fails, the branch runs as
    // if the test had held.
    template <typename Test>
    bool test(int number, Test&& predicate) {
        bool holds = true;
        step(number, [&] { holds = std::forward<Test>(predicate)(); });
        return holds;
    }

    // A test whose only consequence is to end the procedure: when evaluating it fails, the
    // procedure does not end.
    template <typename Test>
    bool endsIf(int number, Test&& predicate) {
        bool holds = false;
        step(number, [&] { holds = std::forward<Test>(predicate)(); });
        return holds;
    }

  private:
    ErrorReport& m_report;
    const char* m_location;
};

}  // namespace quillmere
