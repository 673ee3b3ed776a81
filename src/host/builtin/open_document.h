#pragma once

#include "host/builtin/project_document.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace quillmere::builtin {

// The largest project file that opens. A document keeps its byte and text positions in signed
// 32 bits (spliced_document.h): half of that range keeps every offset of the file valid, with
// room left for the texts that replacements add.
inline constexpr qsizetype kLargestProjectFile = qsizetype(1) << 30;

// Whether reading a file may take a second thread: only where no other thread of the program
// works at the same time.
enum class SecondThread { Never, WhereItPays };

// Reads a project file's format from its content: Project XML or MPX. Throws Failure with a
// description that names the file for anything else, an empty file and one larger than
// kLargestProjectFile included.
std::unique_ptr<ProjectDocument> OpenDocument(const QByteArray& bytes, const QString& fileName,
                                              SecondThread secondThread = SecondThread::Never);

}  // namespace quillmere::builtin
