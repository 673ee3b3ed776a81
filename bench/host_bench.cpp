// Times the built-in host on large generated files: open, the 100-field walk for 1, 10 and 100
// pairs, and save; and `xmllint --noout` on the same XML file for scale.
//   host_bench [TASKS]   (default 20000)

#include "best_of.h"
#include "platform/host/builtin/builtin_host.h"
#include "platform/host/field_catalogue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

using quillmere::builtin::OpenDocument;

namespace {

QByteArray MakeXml(int tasks) {
    QByteArray xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<Project xmlns=\"http://schemas.microsoft.com/project\">\r\n"
        "\t<Name>bench.xml</Name>\r\n\t<Tasks>\r\n";
    for (int i = 1; i <= tasks; ++i) {
        const QByteArray n = QByteArray::number(i);
        xml += "\t\t<Task>\r\n\t\t\t<UID>" + n + "</UID>\r\n\t\t\t<ID>" + n +
               "</ID>\r\n\t\t\t<Name>Install cabling in room " + n +
               " of building North</Name>\r\n\t\t\t<Duration>PT8H0M0S</Duration>\r\n"
               "\t\t\t<Contact>Site manager North</Contact>\r\n"
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

QByteArray MakeMpx(int tasks) {
    QByteArray mpx =
        "MPX,Microsoft Project for Windows,4.0,ANSI\r\n"
        "61,90,1,2,4,5,6,15,40,98\r\n";
    for (int i = 1; i <= tasks; ++i) {
        const QByteArray n = QByteArray::number(i);
        mpx += "70," + n + ",Install cabling in room " + n + " of building North,1." + n +
               ",North wing " + n + ",North,\"North, east\",Site manager North,1d," + n + "\r\n";
        mpx += "71,Cabling for room " + n + " in building North\x7Fsecond line\r\n";
    }
    return mpx;
}

void Measure(const char* label, const QByteArray& bytes) {
    const double open = BestOfThree([&] { OpenDocument(bytes, "bench"); });
    std::printf("%-4s %8.1f MB  open %8.1f ms", label, bytes.size() / 1e6, open);
    for (int pairs : {1, 10, 100}) {
        const double walk = BestOfThree([&] {
                                auto doc = OpenDocument(bytes, "bench");
                                for (int p = 0; p < pairs; ++p)
                                    for (const QString& field : quillmere::FieldCatalogue())
                                        doc->replace(field, p % 2 ? "South" : "North",
                                                     p % 2 ? "North" : "South", false);
                            }) -
                            open;
        std::printf("  walk x%-3d %8.1f ms", pairs, walk);
    }
    auto doc = OpenDocument(bytes, "bench");
    for (const QString& field : quillmere::FieldCatalogue())
        doc->replace(field, "North", "South", false);
    const double save = BestOfThree([&] { doc->save(); });
    std::printf("  save %7.1f ms\n", save);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int tasks = argc > 1 ? std::atoi(argv[1]) : 20000;
    const QByteArray xml = MakeXml(tasks);
    const QByteArray mpx = MakeMpx(tasks);
    std::printf("%d tasks\n", tasks);
    Measure("xml", xml);
    Measure("mpx", mpx);

    // One whole pass with one pair (open, walk, save) against the plain parse of xmllint.
    const double pass = BestOfThree([&] {
        auto doc = OpenDocument(xml, "bench");
        for (const QString& field : quillmere::FieldCatalogue())
            doc->replace(field, "North", "South", false);
        doc->save();
    });
    QTemporaryDir dir;
    QFile file(dir.filePath("bench.xml"));
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.write(xml);
    file.close();
    const double xmllint = BestOfThree([&] {
        QProcess::execute("xmllint", {"--noout", file.fileName()});
    });
    std::printf("xml  one-pair pass %.1f ms, xmllint --noout %.1f ms, ratio %.2f\n", pass, xmllint,
                pass / xmllint);
    return 0;
}
