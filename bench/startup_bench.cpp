// Times the program's start: from starting the process until its window is shown, and until the
// window has painted itself, on the offscreen platform. A first start (no settings yet: the
// samples are recorded) and a later start, each best of three, against an empty Qt window.
//   startup_bench [PROGRAM]   (the program built beside this benchmark by default)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

struct Times {
    double shown = 1e18;
    double painted = 1e18;
};

// One start in a fresh process with its own home, so no real settings are read or written.
Times StartOnce(const QString& program, const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(STARTUP_PROBE));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardErrorFile(QProcess::nullDevice());
    Times times;
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    while (process.waitForReadyRead(10000)) {
        const QByteArray said = process.readAll();
        const double now = timer.nsecsElapsed() / 1e6;
        if (said.contains("shown")) times.shown = now;
        if (said.contains("painted")) {
            times.painted = now;
            break;
        }
    }
    process.waitForFinished(10000);
    if (times.painted > 1e17) std::fprintf(stderr, "%s showed no window\n", qPrintable(program));
    return times;
}

Times BestOfThree(const QString& program, bool firstStart) {
    Times best;
    for (int run = 0; run < 3; ++run) {
        QTemporaryDir home;
        if (!firstStart) StartOnce(program, home.path());
        const Times t = StartOnce(program, home.path());
        best.shown = std::min(best.shown, t.shown);
        best.painted = std::min(best.painted, t.painted);
    }
    return best;
}

void Print(const char* what, const Times& t, const Times& reference) {
    std::printf("%-28s shown %6.0f ms (%.1f x)   painted %6.0f ms (%.1f x)\n", what, t.shown,
                t.shown / reference.shown, t.painted, t.painted / reference.painted);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString program =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(QUILLMERE_PROGRAM);
    const Times reference = BestOfThree(QStringLiteral(EMPTY_WINDOW), true);
    std::printf("%-28s shown %6.0f ms          painted %6.0f ms\n", "empty Qt window",
                reference.shown, reference.painted);
    Print("Quillmere, first start", BestOfThree(program, true), reference);
    Print("Quillmere, later start", BestOfThree(program, false), reference);
    return 0;
}
