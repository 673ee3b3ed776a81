// Times `quillmere-host batch` over a folder of copies of one project file, saving into an output
// folder, against `xmllint --noout` over the same files.
//   batch_bench [FILES [SAMPLE]]   (1,000 copies by default, of a generated Project XML file of
//                                   about 100 KB)

#include "best_of.h"
#include "generated_project.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

QStringList MakeCopies(const QString& folder, const QByteArray& bytes, int count) {
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/plan%2.xml").arg(folder).arg(i, 4, 10, QChar('0'));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) file.write(bytes);
        paths << path;
    }
    return paths;
}

// The best of three runs of a program, each with "OUT" in its arguments standing for a new empty
// output folder (one deleted just before would make the file system's inode search slower);
// exits on a failure, since its time would mean nothing.
double BestRun(const QString& program, const QStringList& arguments, const QString& outFolder) {
    double best = 1e18;
    for (int run = 0; run < 3; ++run) {
        const QString out = outFolder + QString::number(run);
        QDir().mkpath(out);
        QStringList given = arguments;
        std::replace(given.begin(), given.end(), QStringLiteral("OUT"), out);
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        process.start(program, given);
        process.waitForFinished(-1);
        best = std::min(best, timer.nsecsElapsed() / 1e6);
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                         process.readAllStandardError().constData());
            std::exit(1);
        }
    }
    return best;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    QByteArray sample = GeneratedProjectXml(150);
    if (argc > 2) {
        QFile file(QString::fromLocal8Bit(argv[2]));
        if (!file.open(QIODevice::ReadOnly)) return 1;
        sample = file.readAll();
    }
    QTemporaryDir temporary;
    const QString in = temporary.filePath("in");
    const QString out = temporary.filePath("out");
    const QStringList copies = MakeCopies(in, sample, count);

    const double batch =
        BestRun(QStringLiteral(QUILLMERE_HOST_PROGRAM),
                {"batch", in, "--out", "OUT", "--find", "North", "--replace", "South"}, out);
    const double xmllint = BestRun("xmllint", QStringList{"--noout"} + copies, out);
    std::printf("%d files of %.1f KB: batch %.0f ms, xmllint --noout %.0f ms, ratio %.2f\n", count,
                sample.size() / 1e3, batch, xmllint, batch / xmllint);
    return 0;
}
