#pragma once

#include <QByteArray>

// A Project XML file of the given number of tasks, each with a name, notes (two lines), a
// contact and three Text fields, "North" in five of its seven values: one pair ("North" to
// "South") changes every task.
inline QByteArray GeneratedProjectXml(int tasks) {
    QByteArray xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<Project xmlns=\"http://schemas.microsoft.com/project\">\r\n"
        "\t<Name>bench.xml</Name>\r\n\t<Tasks>\r\n";
    for (int i = 1; i <= tasks; ++i) {
        const QByteArray n = QByteArray::number(i);
        xml += "\t\t<Task>\r\n\t\t\t<UID>" + n + "</UID>\r\n\t\t\t<ID>" + n +
               "</ID>\r\n\t\t\t<Name>Install cabling in room " + n +
               " of building North</Name>\r\n\t\t\t<Duration>PT8H0M0S</Duration>\r\n"
               "\t\t\t<Contact>Site manager North, Crew " +
               QByteArray::number(i % 50) +
               "</Contact>\r\n"
               "\t\t\t<Notes>Cabling for room " +
               n +
               " in building North; check the riser first.\nSecond line of the note.</Notes>\r\n";
        for (const char* id : {"188743731", "188743734", "188743737"})
            xml += "\t\t\t<ExtendedAttribute>\r\n\t\t\t\t<FieldID>" + QByteArray(id) +
                   "</FieldID>\r\n\t\t\t\t<Value>North wing " + n +
                   "</Value>\r\n\t\t\t</ExtendedAttribute>\r\n";
        xml += "\t\t</Task>\r\n";
    }
    return xml + "\t</Tasks>\r\n</Project>\r\n";
}
