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

// What a host's Replace call throws when it changed what it could and left values that it
// cannot rewrite: the description names those, changed counts the others.
class PartlyReplaced : public Failure {
  public:
    PartlyReplaced(long number, QString description, int changed)
        : Failure(number, std::move(description)), m_changed(changed) {}

    int changed() const { return m_changed; }

  private:
    int m_changed;
};

// Thrown by a yield or a dialog once the user has closed the main window: it unwinds the running
// command without being reported, after which the program ends. Deliberately not a
// std::exception, so that no failure handler can swallow it.
struct ProgramEnding {};

// The error numbers of our own failures, named once: the classic runtime's numbers where one
// fits, and the host's own for what only a project host can say.
namespace errors {
inline constexpr long kInvalidArgument = 5;
// The set list's 16-bit counts: no room for another pair.
inline constexpr long kOverflow = 6;
inline constexpr long kOutOfMemory = 7;
inline constexpr long kTypeMismatch = 13;
inline constexpr long kFileNotFound = 53;
inline constexpr long kFileAlreadyExists = 58;
inline constexpr long kPermissionDenied = 70;
inline constexpr long kPathFileAccess = 75;
inline constexpr long kPathNotFound = 76;
inline constexpr long kObjectNotSet = 91;
inline constexpr long kInvalidPropertyValue = 380;
inline constexpr long kInvalidIndex = 381;
inline constexpr long kCannotCreateObject = 429;
inline constexpr long kInvalidPicture = 481;
// The project host: a file it cannot open as a project, an argument it refuses.
inline constexpr long kNotAProjectFile = 1100;
inline constexpr long kHostInvalidArgument = 1101;
// The project host is in another run's use (Windows' HRESULT_FROM_WIN32(ERROR_BUSY)).
inline constexpr long kHostInUse = -2147024726;
// The open-file dialog: the chosen names do not fit into the text it can return.
inline constexpr long kTooManyFiles = 20476;
// The list control: a position outside the list.
inline constexpr long kIndexOutOfBounds = 35600;
}  // namespace errors

}  // namespace quillmere
