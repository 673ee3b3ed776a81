#pragma once

#include <QString>

namespace quillmere {

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
};

}  // namespace quillmere
