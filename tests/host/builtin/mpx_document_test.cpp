#include "host/builtin/builtin_host.h"
#include "host/builtin/open_document.h"

#include "host/builtin/documents.h"
#include "platform/failure.h"
#include "support/files.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace quillmere::builtin {
namespace {

using testing::ReadBytes;

struct MpxCase {
    const char* file;
    const char* field;
    const char* find;
    const char* replacement;
};

TEST(BuiltinHostMpx, SeparatorsCodePageAndQuoting) {
    const MpxCase cases[] = {
        {"mpx/task-text-project98.mpx", "Text1", "1", "one"},
        {"mpx/sample.de.mpx", "Name", "Task", "Aufgabe; neu"},  // ";" separator
        {"mpx/sample.mpx", "Name", "Task", "Job, \"big\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QByteArray before = ReadBytes(kExternal + "/" + c.file);
        auto doc = OpenDocument(before, c.file);
        const QStringList old = doc->values(c.field);
        ASSERT_TRUE(old.join("|").contains(c.find));
        EXPECT_TRUE(doc->replace(c.field, c.find, c.replacement, true));
        const QByteArray after = doc->save();
        // Only task records change, and every other line stays as it was.
        for (const auto& [was, now] : Differences(before, after, '\n'))
            EXPECT_TRUE(was.startsWith("70")) << was.toStdString();
        ExpectReadsBackReplaced(after, c.file, c.field, old, c.find, c.replacement);
    }
}

TEST(BuiltinHostMpx, Windows1252BytesAndNotes) {
    const QByteArray before = ReadBytes(kSamples + "/Website Launch.mpx");
    auto doc = OpenDocument(before, "Website Launch.mpx");
    ASSERT_TRUE(before.contains("Caf\xE9"));
    EXPECT_TRUE(
        doc->replace("Notes", QString::fromUtf8("Café"), QString::fromUtf8("Bäckerei"), true));
    EXPECT_TRUE(doc->replace("Notes", "pages to keep.", "pages\nto keep, \"now\"", true));
    const QByteArray after = doc->save();
    EXPECT_TRUE(
        after.contains("Relaunch of the B\xE4"
                       "ckerei Lumen website."));
    EXPECT_TRUE(
        after.contains("71,\"List every page of the old website; mark pages\x7Fto keep, "
                       "\"\"now\"\"\"\r\n"));
    // The header line, with the "€" byte of the currency record, is untouched.
    EXPECT_EQ(Pieces(after, '\n').mid(0, 6), Pieces(before, '\n').mid(0, 6));
    auto reread = OpenDocument(after, "w.mpx");
    EXPECT_TRUE(
        reread->values("Notes").contains("List every page of the old website; mark pages\n"
                                         "to keep, \"now\""));
}

QByteArray MpxWithNote(const QByteArray& codePage, const QByteArray& note) {
    return "MPX,Microsoft Project for Windows,4.0," + codePage + "\r\n61,98,1\r\n70,1,Task\r\n71," +
           note + "\r\n";
}

// A note is written back as it was read, except for the changed text: a typed line break is
// byte 0x7F, a character a note cannot hold fails the save.
TEST(BuiltinHostMpx, NotesKeepWhatTheyHeld) {
    const struct {
        const char* replacement;
        const char* note;  // nullptr: the save fails
    } cases[] = {
        {"long", "Keep\rit long"},
        {"long\nnow", "Keep\rit long\x7Fnow"},
        {"long\r\nnow", "Keep\rit long\x7Fnow"},
        {"long\x7F", nullptr},
        {"long\r", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.replacement);
        auto doc = OpenDocument(MpxWithNote("ANSI", "Keep\rit short"), "n.mpx");
        EXPECT_TRUE(doc->replace("Notes", "short", c.replacement, true));
        if (c.note)
            EXPECT_EQ(doc->save(), MpxWithNote("ANSI", c.note));
        else
            EXPECT_THROW(doc->save(), Failure);
    }
}

// Byte 0x7F is a note's line break in every code page, read and written.
TEST(BuiltinHostMpx, NoteLineBreakInEveryCodePage) {
    for (const char* codePage : {"ANSI", "850", "437", "MAC"}) {
        SCOPED_TRACE(codePage);
        auto doc = OpenDocument(MpxWithNote(codePage, "one\x7Ftwo"), "n.mpx");
        EXPECT_TRUE(doc->replace("Notes", "one\ntwo", "1\n2\n3", true));
        EXPECT_EQ(doc->save(), MpxWithNote(codePage,
                                           "1\x7F"
                                           "2\x7F"
                                           "3"));
    }
}

TEST(BuiltinHostMpx, SummaryTaskIsLeftAlone) {
    const QByteArray before = ReadBytes(kSamples + "/Website Launch.mpx");
    auto doc = OpenDocument(before, "Website Launch.mpx");
    ReplaceEverywhere(*doc, "Website Launch", "Site");
    EXPECT_EQ(doc->save(), before);
}

TEST(BuiltinHostMpx, WhatTheCodePageCannotHoldFailsTheSave) {
    auto doc = OpenDocument(ReadBytes(kSamples + "/Website Launch.mpx"), "w.mpx");
    doc->replace("Name", "Photograph", QString::fromUtf8("사진"), true);
    try {
        doc->save();
        FAIL() << "saved an unencodable character";
    } catch (const Failure& failure) {
        EXPECT_TRUE(failure.description().contains(QString::fromUtf8("\"사\" (U+C0AC)")))
            << failure.description().toStdString();
        EXPECT_TRUE(failure.description().contains("field Name of task 4"));
    }
    auto lineBreak = OpenDocument(ReadBytes(kSamples + "/Website Launch.mpx"), "w.mpx");
    lineBreak->replace("Contact", "IT", "I\nT", true);
    EXPECT_THROW(lineBreak->save(), Failure);
}

}  // namespace
}  // namespace quillmere::builtin
