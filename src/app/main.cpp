// Quillmere: finds and replaces text in many project-schedule files in one run.

#include "host/host.h"
#include "platform/atomic_file.h"
#include "platform/desktop_shell.h"
#include "platform/event_loop.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_settings_store.h"
#include "platform/terminal.h"
#include "program_info.h"
#include "settings/settings_values.h"
#include "shell/form1.h"

#include <QApplication>

namespace {

constexpr char kHelp[] =
    "Usage: quillmere [OPTION]...\n"
    "Find and replace text in many project-schedule files in one run, in a window.\n"
    "quillmere-host runs the same replace pass without the window.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Qt's own options are taken as well (-platform NAME, -style NAME, ...).\n"
    "The choices made in the window are kept in ~/.config/Vandrel.conf, section [Quillmere].\n";

}  // namespace

int main(int argc, char* argv[]) {
    // Started without them, a file the program opens would take their numbers and receive what is
    // printed.
    if (!quillmere::OpenMissingStandardStreams()) return 1;
    // Answered before the application object is made, so that they need no display.
    if (const auto option = quillmere::FindInfoOption(argc, argv);
        option != quillmere::InfoOption::None)
        return quillmere::PrintInfo(option, "quillmere", kHelp);

    QApplication app(argc, argv);
    quillmere::KeepRunningPastFileSizeLimit();
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setApplicationName(quillmere::kProductName);
    // Lets the desktop match the window to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("quillmere"));

    quillmere::QtEventLoop events;
    quillmere::QtDialogs dialogs(events);
    quillmere::NativeFileSystem files;
    quillmere::QtSettingsStore settings;
    quillmere::QtDesktopShell shell;
    const auto hosts = quillmere::MakeDefaultHostFactory(quillmere::ProjectStepDeadline(settings),
                                                         quillmere::WaitShown::InAMessageBox);
    quillmere::Services services{
        dialogs, *hosts, files, settings, events, QCoreApplication::applicationDirPath(), shell};

    quillmere::Form1 form(services);
    try {
        form.Form_Load();
    } catch (const quillmere::ProgramEnding&) {
        return 0;
    }
    form.show();
    return app.exec();
}
