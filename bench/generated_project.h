#pragma once

#include <QByteArray>

// The start of a generated project file, up to its <Tasks> start tag.
inline QByteArray GeneratedHead(const QByteArray& name) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
           "<Project xmlns=\"http://schemas.microsoft.com/project\">\r\n"
           "\t<Name>" +
           name + "</Name>\r\n\t<Tasks>\r\n";
}

inline QByteArray GeneratedTail() {
    return "\t</Tasks>\r\n</Project>\r\n";
}

// A task's start tag, its unique ID and its ID, both n.
inline QByteArray GeneratedTaskStart(const QByteArray& n) {
    return "\t\t<Task>\r\n\t\t\t<UID>" + n + "</UID>\r\n\t\t\t<ID>" + n + "</ID>\r\n";
}

// A task's value of the custom field with the given FieldID.
inline QByteArray GeneratedTextValue(const QByteArray& fieldId, const QByteArray& value) {
    return "\t\t\t<ExtendedAttribute>\r\n\t\t\t\t<FieldID>" + fieldId +
           "</FieldID>\r\n\t\t\t\t<Value>" + value + "</Value>\r\n\t\t\t</ExtendedAttribute>\r\n";
}

// A Project XML file of the given number of tasks, each with a name, notes (two lines), a
// contact and three Text fields, "North" in five of its seven values: one pair ("North" to
// "South") changes every task.
inline QByteArray GeneratedProjectXml(int tasks) {
    QByteArray xml = GeneratedHead("bench.xml");
    for (int i = 1; i <= tasks; ++i) {
        const QByteArray n = QByteArray::number(i);
        xml += GeneratedTaskStart(n) + "\t\t\t<Name>Install cabling in room " + n +
               " of building North</Name>\r\n\t\t\t<Duration>PT8H0M0S</Duration>\r\n"
               "\t\t\t<Contact>Site manager North, Crew " +
               QByteArray::number(i % 50) +
               "</Contact>\r\n"
               "\t\t\t<Notes>Cabling for room " +
               n +
               " in building North; check the riser first.\nSecond line of the note.</Notes>\r\n";
        for (const char* id : {"188743731", "188743734", "188743737"})
            xml += GeneratedTextValue(id, "North wing " + n);
        xml += "\t\t</Task>\r\n";
    }
    return xml + GeneratedTail();
}

// A Project XML file of the given number of tasks with long notes (about 600 bytes, several
// lines) and three Text values each, some with characters beyond ASCII. One pair ("North" to
// "South") changes the notes of every task and one Text value of every other, so tens of
// thousands of values; of the hundred pairs "Crew 0" to "Crew 99" only "Crew 7" occurs.
inline QByteArray GeneratedLongNotesXml(int tasks) {
    QByteArray xml = GeneratedHead("notes.xml");
    const QByteArray paragraph =
        "Before the work starts, the site manager walks the floor with the electrician, marks "
        "every riser and checks that the drawings match what was built. Materials are ordered "
        "two weeks ahead; deliveries go to the loading bay at the back, never through the "
        "lobby.\n";
    for (int i = 1; i <= tasks; ++i) {
        const QByteArray n = QByteArray::number(i);
        xml += GeneratedTaskStart(n) + "\t\t\t<Name>Fit-out stage " + n +
               " \xE2\x80\x93 Stra\xC3\x9F"
               "e " +
               QByteArray::number(i % 97) +
               "</Name>\r\n\t\t\t<Duration>PT16H0M0S</Duration>\r\n\t\t\t<Notes>Stage " + n +
               " of the North block.\n" + paragraph + paragraph +
               "Sign-off by the client&apos;s engineer.</Notes>\r\n";
        const QByteArray values[3] = {
            i % 2 ? "North entrance" : "South entrance",
            i % 10 == 7 ? "Crew 7" : "Squad " + QByteArray::number(i % 10),
            "Floor " + QByteArray::number(i % 40)};
        for (int k = 0; k < 3; ++k)
            xml += GeneratedTextValue(QByteArray::number(188743731 + 3 * k), values[k]);
        xml += "\t\t</Task>\r\n";
    }
    return xml + GeneratedTail();
}
