// Times the built-in host on large generated files against `xmllint --noout` (libxml2 reading
// the same file) and reports the peak memory of a one-pair pass.
//   host_bench [TASKS]   (default 20000)
//   host_bench --parts   one part against two parts when opening
// A pass is what a run does to one file: open, the 100-field walk for each pair, save. One pair
// ("North" to "South") changes five of each task's seven values; the hundred pairs are a list of
// names ("Crew 0" to "Crew 99" into "Team ..."), half of which occur in the file.

#include "best_of.h"
#include "generated_project.h"
#include "platform/host/builtin/builtin_host.h"
#include "platform/host/builtin/open_document.h"
#include "platform/host/builtin/xml_document.h"
#include "platform/host/field_catalogue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

using quillmere::builtin::OpenDocument;

namespace {

struct Pair {
    QString find;
    QString replacement;
};

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

// A pass as a run makes it, through the host: the file read from disk and its result written
// beside it (the one sync at the end of a run is left out).
void Pass(const QString& file, const std::vector<Pair>& pairs) {
    quillmere::builtin::BuiltinHostFactory hosts;
    auto host = hosts.create(quillmere::kProjectClassName);
    host->fileOpen(file);
    for (const Pair& pair : pairs)
        for (const QString& field : quillmere::FieldCatalogue())
            host->replace({field, "contains", pair.find, pair.replacement, true, true, false});
    host->fileSaveAs(file + ".out");
    host->quit();
}

// One run of work, in milliseconds.
double TimeOnce(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

// Best of three of the command, in milliseconds.
double TimeCommand(const QString& program, const QStringList& arguments) {
    return BestOfThree([&] { QProcess::execute(program, arguments); });
}

// The process's peak resident memory so far, in MB (Linux).
double PeakMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}

// Run in a process of its own: one whole one-pair pass of the host over the file, as a run makes
// it; prints the peak memory above the process's baseline.
int PeakOfPass(const QString& file, const QString& output) {
    const double baseline = PeakMb();
    quillmere::builtin::BuiltinHostFactory hosts;
    auto host = hosts.create(quillmere::kProjectClassName);
    host->fileOpen(file);
    for (const QString& field : quillmere::FieldCatalogue())
        host->replace({field, "contains", "North", "South", true, true, false});
    host->fileSaveAs(output);
    host->quit();
    hosts.syncSaves();
    std::printf("%.1f %.1f\n", PeakMb() - baseline, baseline);
    return 0;
}

QByteArray ReadFile(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// The phases of a one-pair pass, each the best of three: reading and parsing the file, the
// 100-field walk, and the save.
void PrintPhases(const QString& file) {
    double open = 1e18, walk = 1e18, save = 1e18;
    for (int run = 0; run < 3; ++run) {
        quillmere::builtin::BuiltinHostFactory hosts;
        auto host = hosts.create(quillmere::kProjectClassName);
        open = std::min(open, TimeOnce([&] { host->fileOpen(file); }));
        walk = std::min(
            walk, TimeOnce([&] {
                for (const QString& field : quillmere::FieldCatalogue())
                    host->replace({field, "contains", "North", "South", true, true, false});
            }));
        save = std::min(save, TimeOnce([&] { host->fileSaveAs(file + ".out"); }));
        host->quit();
    }
    std::printf("     one pair by phase: read and parse %7.1f ms, walk %7.1f ms, save %7.1f ms\n",
                open, walk, save);
}

void Measure(const char* label, const QString& file, double reference) {
    const QByteArray bytes = ReadFile(file);
    const double open = BestOfThree(
        [&] { OpenDocument(bytes, "bench", quillmere::builtin::SecondThread::WhereItPays); });
    const double one = BestOfThree([&] { Pass(file, OnePair()); });
    const double hundred = BestOfThree([&] { Pass(file, HundredPairs()); });
    const double process = TimeCommand(
        QUILLMERE_HOST_PROGRAM, {file, file + ".host", "--find", "North", "--replace", "South"});
    std::printf(
        "%-4s %6.1f MB  open %7.1f ms  one pair %7.1f ms (%.2f x xmllint)  100 pairs "
        "%7.1f ms (%.2f x xmllint)\n"
        "     quillmere-host FILE OUT --find North --replace South: %7.1f ms (%.2f x xmllint)\n",
        label, bytes.size() / 1e6, open, one, one / reference, hundred, hundred / reference,
        process, process / reference);
    PrintPhases(file);
}

// Opening in one part against two parts at once, on generated files of about 2, 10 and 30 MB,
// and on the 30 MB file with a "</Task>" in a comment near its middle, where the split fails
// after the first half was read.
int CompareParts() {
    using quillmere::builtin::XmlProjectDocument;
    for (const int tasks : {3000, 15000, 45000, -45000}) {
        QByteArray bytes = GeneratedProjectXml(tasks < 0 ? -tasks : tasks);
        if (tasks < 0) {
            // Between two elements of the task that holds the middle: the first "</Task>" after
            // the middle, where the split is tried.
            bytes.insert(bytes.indexOf('\n', bytes.size() / 2) + 1, "<!-- </Task> -->");
        }
        const double one = BestOfThree(
            [&] { XmlProjectDocument::Parse(bytes, "bench", XmlProjectDocument::kOnePartOnly); });
        const double two = BestOfThree([&] { XmlProjectDocument::Parse(bytes, "bench", 0); });
        std::printf("%5.1f MB%s  one part %7.1f ms  two parts %7.1f ms  (%.2f)\n",
                    bytes.size() / 1e6, tasks < 0 ? " split fails" : "            ", one, two,
                    two / one);
    }
    return 0;
}

}  // namespace

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--peak") return PeakOfPass(argv[2], argv[3]);
    if (argc == 2 && QByteArray(argv[1]) == "--parts") return CompareParts();
    const int tasks = argc > 1 ? std::atoi(argv[1]) : 20000;
    QTemporaryDir dir;
    const QString file = dir.filePath("bench.xml");
    if (!WriteFile(file, GeneratedProjectXml(tasks))) return 1;

    // The peak memory, measured in a process of its own, which starts small.
    QProcess peak;
    peak.start(QCoreApplication::applicationFilePath(), {"--peak", file, dir.filePath("out.xml")});
    peak.waitForFinished(-1);
    const QList<QByteArray> mb = peak.readAllStandardOutput().trimmed().split(' ');
    const double fileMb = QFileInfo(file).size() / 1048576.0;
    std::printf(
        "peak memory of a one-pair pass: %s MB above the process's baseline of %s MB, "
        "%.2f x the file's size\n",
        mb.value(0).constData(), mb.value(1).constData(), mb.value(0).toDouble() / fileMb);

    const double xmllint = TimeCommand("xmllint", {"--noout", file});
    std::printf("%d tasks; xmllint --noout %.1f ms\n", tasks, xmllint);
    const QString mpx = dir.filePath("bench.mpx");
    if (!WriteFile(mpx, MakeMpx(tasks))) return 1;
    Measure("xml", file, xmllint);
    Measure("mpx", mpx, xmllint);
    return 0;
}
