// What the built-in host's tests share: the sample files and the checks of a saved document.
#pragma once

#include "host/builtin/open_document.h"
#include "host/field_catalogue.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QString>

#include <utility>
#include <vector>

namespace quillmere::builtin {

using testing::ReadBytes;
using testing::WithFileSizeLimit;
using testing::WriteBytes;

inline const QString kExternal = QStringLiteral(QUILLMERE_TESTDATA "/external");
inline const QString kSamples = QStringLiteral(QUILLMERE_RESOURCES "/Samples");

inline std::unique_ptr<ProjectDocument> Open(const QString& path) {
    return OpenDocument(ReadBytes(path), QFileInfo(path).fileName());
}

// Everything the pass does to one file with one pair: every catalogue field, in order.
inline void ReplaceEverywhere(ProjectDocument& doc, const QString& find, const QString& replacement,
                              bool matchCase = false) {
    for (const QString& field : FieldCatalogue()) doc.replace(field, find, replacement, matchCase);
}

// Splits XML at each ">", so that a changed element content shows as one changed piece.
inline QList<QByteArray> Pieces(const QByteArray& bytes, char at) {
    return bytes.split(at);
}

// The pieces in which two files differ, as (before, after) pairs; the files must have the
// same shape outside those pieces.
inline std::vector<std::pair<QByteArray, QByteArray>> Differences(const QByteArray& before,
                                                                  const QByteArray& after,
                                                                  char at) {
    const auto a = Pieces(before, at);
    const auto b = Pieces(after, at);
    EXPECT_EQ(a.size(), b.size());
    std::vector<std::pair<QByteArray, QByteArray>> diffs;
    for (qsizetype i = 0; i < qMin(a.size(), b.size()); ++i)
        if (a[i] != b[i]) diffs.emplace_back(a[i], b[i]);
    return diffs;
}

// The saved file reads back with every old value of the field replaced.
inline void ExpectReadsBackReplaced(const QByteArray& saved, const QString& file,
                                    const QString& field, const QStringList& old,
                                    const QString& find, const QString& replacement) {
    auto reread = OpenDocument(saved, file);
    QStringList expected;
    for (QString value : old) expected << value.replace(find, replacement);
    EXPECT_EQ(reread->values(field), expected);
}

}  // namespace quillmere::builtin
