#pragma once

#include <QDir>
#include <QString>

namespace quillmere {

class DesktopShell;
class Dialogs;
class EventLoop;
class FileSystem;
class HostFactory;
class SettingsStore;

// Everything the program reaches outside itself, handed to the main window at construction;
// tests hand in fakes.
struct Services {
    Dialogs& dialogs;
    HostFactory& hosts;
    FileSystem& files;
    SettingsStore& settings;
    EventLoop& events;
    // The folder of the executable, where the program's own resource files lie.
    QString programFolder;
    DesktopShell& shell;
};

// A file in the program's folder, as a native path.
inline QString ProgramFile(const Services& services, const char* name) {
    return QDir::toNativeSeparators(services.programFolder + QLatin1Char('/') +
                                    QLatin1String(name));
}

}  // namespace quillmere
