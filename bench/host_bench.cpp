// Times the built-in host on large generated files beside `xmllint --noout` (libxml2 reading
// the same file) and reports the peak memory of a one-pair pass.
//   host_bench [TASKS]   (default 20000)
//   host_bench --parts   one part against two parts when opening
//   host_bench --tokens   files that hold one very large token (a comment, an attribute)
//   host_bench --write DIR [TASKS]   writes the files it measures, to time them from outside
// A pass is what a run does to one file: open, the 100-field walk for each pair, save. The files
// and what the pairs change in them are described where they are generated
// (generated_project.h); the MPX file holds the tasks of bench.xml.

#include "best_of.h"
#include "generated_project.h"
#include "host/builtin/builtin_host.h"
#include "host/builtin/open_document.h"
#include "host/builtin/xml_document.h"
#include "host/field_catalogue.h"

#include <QCoreApplication>
#include <QDir>
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

// A measurement beside xmllint: the work and `xmllint --noout FILE` run in turn, five times
// each, so that both meet the same machine; the ratio is the median of the five runs' ratios.
struct Beside {
    double best = 0;       // the work's best time, in ms
    double reference = 0;  // xmllint's best time, in ms
    double ratio = 0;
};

// xmllint refuses a token of more than 10 MB unless told --huge.
Beside TimeBeside(const std::function<void()>& work, const QString& file,
                  const QStringList& xmllint = {"--noout"}) {
    std::vector<double> ratios;
    Beside result{1e18, 1e18, 0};
    for (int run = 0; run < 5; ++run) {
        const double time = TimeOnce(work);
        const double reference =
            TimeOnce([&] { QProcess::execute("xmllint", xmllint + QStringList{file}); });
        ratios.push_back(time / reference);
        result.best = std::min(result.best, time);
        result.reference = std::min(result.reference, reference);
    }
    std::sort(ratios.begin(), ratios.end());
    result.ratio = ratios[ratios.size() / 2];
    return result;
}

// The process's resident memory now and at its peak so far, in MiB (Linux).
std::pair<double, double> MemoryMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return {0, 0};
    double now = 0, peak = 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        const double mb = line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
        if (line.startsWith("VmRSS:")) now = mb;
        if (line.startsWith("VmHWM:")) peak = mb;
    }
    return {now, peak};
}

// Run in a process of its own: one whole one-pair pass of the host over the file, as a run makes
// it; prints the peak memory above the process's baseline, then where it went: the memory held,
// and the peak so far, after each step.
int PeakOfPass(const QString& file, const QString& output) {
    const double baseline = MemoryMb().second;
    QString steps;
    const auto note = [&](const char* step) {
        const auto [now, peak] = MemoryMb();
        steps += QStringLiteral("  %1: %2 MiB held, peak %3 MiB")
                     .arg(step)
                     .arg(now - baseline, 0, 'f', 1)
                     .arg(peak - baseline, 0, 'f', 1);
    };
    quillmere::builtin::BuiltinHostFactory hosts;
    auto host = hosts.create(quillmere::kProjectClassName);
    host->fileOpen(file);
    note("open");
    for (const QString& field : quillmere::FieldCatalogue())
        host->replace({field, "contains", "North", "South", true, true, false});
    note("walk");
    host->fileSaveAs(output);
    note("save");
    host->quit();
    hosts.syncSaves();
    std::printf("%.1f %.1f %s\n", MemoryMb().second - baseline, baseline, qPrintable(steps));
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

QStringList PairArguments(const std::vector<Pair>& pairs) {
    QStringList arguments;
    for (const Pair& pair : pairs)
        arguments << "--find" << pair.find << "--replace" << pair.replacement;
    return arguments;
}

// The passes over a file, each beside xmllint reading reference (the XML file of the same tasks).
void Measure(const char* label, const QString& file, const QString& reference) {
    const QByteArray bytes = ReadFile(file);
    const double open = BestOfThree(
        [&] { OpenDocument(bytes, "bench", quillmere::builtin::SecondThread::WhereItPays); });
    std::printf(
        "%s, %.1f MB: open %.1f ms; beside xmllint --noout (%s), the median ratio of five "
        "runs and the best times:\n",
        label, bytes.size() / 1e6, open, qPrintable(QFileInfo(reference).fileName()));
    for (const auto& pairs : {OnePair(), HundredPairs()}) {
        const Beside pass = TimeBeside([&] { Pass(file, pairs); }, reference);
        const Beside process = TimeBeside(
            [&] {
                QProcess::execute(QUILLMERE_HOST_PROGRAM,
                                  QStringList{file, file + ".host"} + PairArguments(pairs));
            },
            reference);
        std::printf(
            "  %3zu pair(s): quillmere-host FILE OUT %.2f x (%.1f ms against %.1f ms); "
            "the pass inside this process %.2f x (%.1f ms)\n",
            pairs.size(), process.ratio, process.best, process.reference, pass.ratio, pass.best);
    }
    PrintPhases(file);
}

// The peak memory of a one-pair pass over the file, measured in a process of its own, which
// starts small.
void PrintPeak(const QString& file, const QString& output) {
    QProcess peak;
    peak.start(QCoreApplication::applicationFilePath(), {"--peak", file, output});
    peak.waitForFinished(-1);
    const QList<QByteArray> mb = peak.readAllStandardOutput().trimmed().split(' ');
    const double fileMb = QFileInfo(file).size() / 1048576.0;
    std::printf(
        "      peak memory of a one-pair pass: %s MiB above the process's baseline of %s MiB, "
        "%.2f x the file's size (%.1f MiB)\n     %s\n",
        mb.value(0).constData(), mb.value(1).constData(), mb.value(0).toDouble() / fileMb, fileMb,
        mb.mid(2).join(' ').constData());
}

// Opening in one part against two parts at once, on generated files of about 2, 5, 10 and 30 MB;
// on the 30 MB file with a short comment holding "</Task>" at its middle, which the split steps
// over; and with a long comment across its middle, which the split cannot see from the bytes near
// it, so that it fails once the first half was read and the file is read again in one part.
int CompareParts() {
    using quillmere::builtin::XmlProjectDocument;
    const struct {
        int tasks;
        const char* label;
        qsizetype commentBefore;  // how far before the middle a comment starts; 0: none
    } cases[] = {{3000, "", 0},
                 {7500, "", 0},
                 {15000, "", 0},
                 {45000, "", 0},
                 {45000, " short comment", 1},
                 {45000, " long comment", 100000}};
    for (const auto& c : cases) {
        QByteArray bytes = GeneratedProjectXml(c.tasks);
        if (c.commentBefore > 0) {
            // The short comment lies between two elements of the task at the middle. The long one
            // ends after the second "</Task>" that follows the middle: the first, where the split
            // is tried, is followed by a task's start tag as a real one would be.
            const qsizetype middle = bytes.indexOf('\n', bytes.size() / 2) + 1;
            const qsizetype end =
                bytes.indexOf("</Task>", bytes.indexOf("</Task>", middle) + 7) + 7;
            bytes.insert(end, c.commentBefore > 1 ? " -->" : "");
            if (c.commentBefore > 1)  // around whole tasks
                bytes.insert(bytes.indexOf("</Task>", middle - c.commentBefore) + 7, "<!-- ");
            else
                bytes.insert(middle, "<!-- </Task> -->");
        }
        // In turn, five times each; the ratio is the median of the five runs' ratios.
        std::vector<double> ratios;
        double one = 1e18, two = 1e18;
        bool twoParts = false;
        for (int run = 0; run < 5; ++run) {
            const double once = TimeOnce([&] {
                XmlProjectDocument::Parse(bytes, "bench", XmlProjectDocument::kOnePartOnly);
            });
            const double twice = TimeOnce(
                [&] { twoParts = XmlProjectDocument::Parse(bytes, "bench", 0)->readInTwoParts(); });
            ratios.push_back(twice / once);
            one = std::min(one, once);
            two = std::min(two, twice);
        }
        std::sort(ratios.begin(), ratios.end());
        std::printf("%5.1f MB%-15s one part %7.1f ms  two parts %7.1f ms  (%.2f)%s\n",
                    bytes.size() / 1e6, c.label, one, two, ratios[2],
                    twoParts ? "" : "  the split failed: read in one part");
    }
    return 0;
}

}  // namespace

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

// The benchmark's files in dir, to time from outside: bench.xml, notes.xml, bench.mpx, and the
// hundred pairs as quillmere-host's arguments, one a line (hundred-pairs.txt).
bool WriteFiles(const QDir& dir, int tasks) {
    return WriteFile(dir.filePath("bench.xml"), GeneratedProjectXml(tasks)) &&
           WriteFile(dir.filePath("notes.xml"), GeneratedLongNotesXml(tasks)) &&
           WriteFile(dir.filePath("bench.mpx"), MakeMpx(tasks)) &&
           WriteFile(dir.filePath("hundred-pairs.txt"),
                     PairArguments(HundredPairs()).join('\n').toUtf8() + '\n');
}

// A generated project with one token of the given size between two of its tasks near the
// middle: a comment, or the attribute of an element of its own.
QByteArray WithOneLargeToken(qsizetype size, bool attribute) {
    QByteArray bytes = GeneratedProjectXml(1000);
    const QByteArray token = attribute ? "<Mark note=\"" + QByteArray(size, 'a') + "\"/>"
                                       : "<!--" + QByteArray(size, 'c') + "-->";
    return bytes.insert(bytes.indexOf("<Task>", bytes.size() / 2), token);
}

// quillmere-host with one pair over files that hold one very large token, beside xmllint: the
// parser must not read such a token again for every piece of the file it is given.
int CompareLargeTokens() {
    const struct {
        const char* label;
        qsizetype mib;
        bool attribute;
    } cases[] = {{"comment", 64, false}, {"comment", 256, false}, {"attribute", 64, true}};
    QTemporaryDir dir;
    const QString file = dir.filePath("token.xml");
    for (const auto& c : cases) {
        if (!WriteFile(file, WithOneLargeToken(c.mib << 20, c.attribute))) return 1;
        const Beside pass = TimeBeside(
            [&] {
                QProcess::execute(QUILLMERE_HOST_PROGRAM,
                                  QStringList{file, file + ".host"} + PairArguments(OnePair()));
            },
            file, {"--huge", "--noout"});
        std::printf(
            "one %-9s of %3lld MiB: quillmere-host FILE OUT %.2f x xmllint --huge --noout (%.1f ms "
            "against %.1f ms)\n",
            c.label, qlonglong(c.mib), pass.ratio, pass.best, pass.reference);
    }
    return 0;
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--peak") return PeakOfPass(argv[2], argv[3]);
    if (argc == 2 && QByteArray(argv[1]) == "--parts") return CompareParts();
    if (argc == 2 && QByteArray(argv[1]) == "--tokens") return CompareLargeTokens();
    if (argc >= 3 && QByteArray(argv[1]) == "--write")
        return WriteFiles(QDir(argv[2]), argc > 3 ? std::atoi(argv[3]) : 20000) ? 0 : 1;
    const int tasks = argc > 1 ? std::atoi(argv[1]) : 20000;
    QTemporaryDir dir;
    if (!WriteFiles(QDir(dir.path()), tasks)) return 1;
    std::printf("%d tasks\n", tasks);
    for (const char* name : {"bench.xml", "notes.xml"}) {
        const QString file = dir.filePath(name);
        std::printf("%s:\n", name);
        PrintPeak(file, dir.filePath("out.xml"));
        Measure("  XML", file, file);
        // The MPX file holds the same tasks as bench.xml; it is compared with that file's xmllint.
        if (QByteArray(name) == "bench.xml") Measure("  MPX", dir.filePath("bench.mpx"), file);
    }
    return 0;
}
