// Quillmere: finds and replaces text in many project-schedule files in one run.

#include "platform/atomic_file.h"
#include "platform/desktop_shell.h"
#include "platform/event_loop.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/host/host.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_settings_store.h"
#include "settings/settings_values.h"
#include "shell/form1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
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
