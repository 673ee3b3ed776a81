// Times the built-in host on large generated files against `xmllint --noout` (libxml2 reading
// the same file) and reports the peak memory of a whole run of quillmere-host.
//   host_bench [TASKS]   (default 20000)
// A pass is what a run does to one file: open, the 100-field walk for each pair, save. One pair
// ("North" to "South") changes five of each task's seven values; the hundred pairs are a list of
// names ("Crew 0" to "Crew 99" into "Team ..."), half of which occur in the file.

#include "best_of.h"
#include "platform/host/builtin/builtin_host.h"
#include "platform/host/field_catalogue.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <vector>

using quillmere::builtin::OpenDocument;

namespace {

struct Pair {
    QString find;
    QString replacement;
};

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

QByteArray MakeMpx(int tasks) {
    QByteArray mpx =
        "MPX,Microsoft Project for Windows,4.0,ANSI\r\n"
        "61,90,1,2,4,5,6,15,40,98\r\n";
    for (int i = 1; i <= tasks; ++i) {
        const QByteArray n = QByteArray::number(i);
        mpx += "70," + n + ",Install cabling in room " + n + " of building North,1." + n +
               ",North wing " + n + ",North,\"North, east\",\"Site manager North, Crew " +
               QByteArray::number(i % 50) + "\",1d," + n + "\r\n";
        mpx += "71,Cabling for room " + n + " in building North\x7Fsecond line\r\n";
    }
    return mpx;
}

std::vector<Pair> OnePair() {
    return {{"North", "South"}};
}

std::vector<Pair> HundredPairs() {
    std::vector<Pair> pairs;
    for (int k = 0; k < 100; ++k)
        pairs.push_back({QStringLiteral("Crew %1").arg(k), QStringLiteral("Team %1").arg(k)});
    return pairs;
}

void Pass(const QByteArray& bytes, const std::vector<Pair>& pairs) {
    auto doc = OpenDocument(bytes, "bench");
    for (const Pair& pair : pairs)
        for (const QString& field : quillmere::FieldCatalogue())
            doc->replace(field, pair.find, pair.replacement, false);
    doc->save();
}

// Best of three of the command, in milliseconds.
double TimeCommand(const QString& program, const QStringList& arguments) {
    return BestOfThree([&] { QProcess::execute(program, arguments); });
}

// The peak resident memory of the children waited for so far, in MB: measure the small before
// the large.
double ChildrenPeakMb() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss / 1024.0;
}

void Measure(const char* label, const QByteArray& bytes, double reference) {
    const double open = BestOfThree([&] { OpenDocument(bytes, "bench"); });
    const double one = BestOfThree([&] { Pass(bytes, OnePair()); });
    const double hundred = BestOfThree([&] { Pass(bytes, HundredPairs()); });
    std::printf(
        "%-4s %6.1f MB  open %7.1f ms  one pair %7.1f ms (%.2f x xmllint)  100 pairs "
        "%7.1f ms (%.2f x xmllint)\n",
        label, bytes.size() / 1e6, open, one, one / reference, hundred, hundred / reference);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int tasks = argc > 1 ? std::atoi(argv[1]) : 20000;
    QTemporaryDir dir;
    const QByteArray xml = MakeXml(tasks);
    const QString file = dir.filePath("bench.xml");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(xml) != xml.size()) return 1;
    out.close();

    // Peak memory of a whole one-pair run, above that of the same run on a one-task file.
    const QString host = QStringLiteral(QUILLMERE_HOST_PROGRAM);
    const QString small = dir.filePath("small.xml");
    QFile tiny(small);
    if (!tiny.open(QIODevice::WriteOnly) || tiny.write(MakeXml(1)) < 0) return 1;
    tiny.close();
    const QStringList pair{"--find", "North", "--replace", "South"};
    QProcess::execute(host, QStringList{small, dir.filePath("small-out.xml")} + pair);
    const double baseline = ChildrenPeakMb();
    QProcess::execute(host, QStringList{file, dir.filePath("out.xml")} + pair);
    const double peak = ChildrenPeakMb();
    std::printf("peak memory: %.1f MB above the baseline of %.1f MB, %.2f x the file's size\n",
                peak - baseline, baseline, (peak - baseline) / (xml.size() / 1048576.0));
    const double xmllint = TimeCommand("xmllint", {"--noout", file});
    std::printf("%d tasks; xmllint --noout %.1f ms\n", tasks, xmllint);
    Measure("xml", xml, xmllint);
    Measure("mpx", MakeMpx(tasks), xmllint);

    return 0;
}
