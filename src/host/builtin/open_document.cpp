#include "host/builtin/open_document.h"

#include "host/builtin/mpx_document.h"
#include "host/builtin/xml_document.h"
#include "platform/failure.h"

namespace quillmere::builtin {

std::unique_ptr<ProjectDocument> OpenDocument(const QByteArray& bytes, const QString& fileName,
                                              SecondThread secondThread) {
    if (bytes.isEmpty())
        throw Failure(errors::kNotAProjectFile, fileName + QStringLiteral(" is empty."));
    if (bytes.size() > kLargestProjectFile)
        throw Failure(errors::kNotAProjectFile,
                      fileName + QStringLiteral(" is larger than 1 GB, too large to open."));
    if (bytes.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        throw Failure(
            errors::kNotAProjectFile,
            fileName + QStringLiteral(" is a binary Microsoft Project file, which only Microsoft "
                                      "Project can open. Run Quillmere on Windows with Project "
                                      "installed, or save the file as XML from Project."));
    if (bytes.startsWith("MPX")) return MpxProjectDocument::Parse(bytes, fileName);
    if (XmlProjectDocument::LooksLikeXml(bytes))
        return XmlProjectDocument::Parse(bytes, fileName,
                                         secondThread == SecondThread::WhereItPays
                                             ? XmlProjectDocument::kTwoPartsFrom
                                             : XmlProjectDocument::kOnePartOnly);
    throw Failure(errors::kNotAProjectFile,
                  fileName + QStringLiteral(" is neither a Project XML file nor an MPX file."));
}

}  // namespace quillmere::builtin
