#pragma once

#include "filelist/entry_list.h"
#include "platform/desktop_shell.h"
#include "platform/event_loop.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/services.h"
#include "platform/settings_store.h"
#include "support/fake_host.h"
#include "support/scripted_dialogs.h"

#include <QHash>
#include <QTemporaryDir>

#include <functional>

namespace quillmere::testing {

// Settings held in memory, one fresh store per test.
class MemorySettings : public SettingsStore {
  public:
    QString read(const QString& key, const QString& defaultValue) override {
        return values.value(key, defaultValue);
    }
    void write(const QString& key, const QString& value) override {
        if (refuseWrites)
            throw Failure(errors::kPathFileAccess,
                          QStringLiteral("The setting %1 could not be stored.").arg(key));
        values[key] = value;
    }
    QHash<QString, QString> values;
    bool refuseWrites = false;  // as a store whose file may not be written
};

// Records the folders the program asked the desktop to open; opens them, or fails to.
class RecordingShell : public DesktopShell {
  public:
    bool openFolder(const QString& folder) override {
        opened << folder;
        return opens;
    }
    QStringList opened;
    bool opens = true;
};

// The real event loop with a hook that runs at every yield, so a test can act "while the
// program yields" (press a button, close the window, change an option).
class HookedEventLoop : public QtEventLoop {
  public:
    void doEvents() override {
        ++yields;
        if (atYield) atYield();
        QtEventLoop::doEvents();
    }
    std::function<void()> atYield;
    int yields = 0;
};

// One test's worth of services: scripted dialogs, a recording host, the real file system, a
// memory settings store, an empty program folder in a temporary directory, and a desktop that
// only records what it was asked to open.
struct FakeServices {
    ScriptedDialogs dialogs;
    FakeHost host;
    NativeFileSystem files;
    MemorySettings settings;
    HookedEventLoop events;
    QTemporaryDir programFolder;
    RecordingShell shell;
    Services services{dialogs, host, files, settings, events, programFolder.path(), shell};
};

}  // namespace quillmere::testing

namespace quillmere::testing {

// The list behind the list procedures, as plain texts; records every removal.
class VectorEntries : public EntryList {
  public:
    VectorEntries() = default;
    explicit VectorEntries(QStringList initial) : texts(std::move(initial)) {}
    int count() const override { return int(texts.size()); }
    QString text(int position) const override { return texts.at(position); }
    void append(const QStringList& paths) override { texts += paths; }
    void remove(int position) override {
        removed << position;
        texts.removeAt(position);
    }
    QStringList texts;
    QList<int> removed;
};

}  // namespace quillmere::testing
