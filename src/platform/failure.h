#pragma once

#include <QString>

#include <exception>

namespace quillmere {

// The one failure type that platform calls and project hosts throw. The number follows the
// classic runtime's error numbers where one exists (53 file not found, 70 permission denied,
// ...), or is the host's own code; the description is what the user sees in the error report.
class Failure : public std::exception {
  public:
    Failure(long number, QString description)
        : m_number(number), m_description(std::move(description)) {}

    long number() const { return m_number; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return "quillmere::Failure"; }

  private:
    long m_number;
    QString m_description;
};

// Thrown by a yield or a dialog once the user has closed the main window: it unwinds the running
// command without being reported, after which the program ends. Deliberately not a
// std::exception, so that no failure handler can swallow it.
struct ProgramEnding {};

// Runtime error numbers used by our own code.
namespace errors {
inline constexpr long kInvalidArgument = 5;
inline constexpr long kObjectNotSet = 91;
inline constexpr long kFileNotFound = 53;
inline constexpr long kFileAlreadyExists = 58;
inline constexpr long kPermissionDenied = 70;
inline constexpr long kPathFileAccess = 75;
inline constexpr long kPathNotFound = 76;
}  // namespace errors

}  // namespace quillmere
