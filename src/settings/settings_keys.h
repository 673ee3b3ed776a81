#pragma once

#include "platform/settings_store.h"
#include "settings/settings_values.h"

#include <QLatin1String>

namespace quillmere {

// One stored text setting: its key in the store and its value before anything was stored.
struct TextSetting {
    QLatin1String key;
    QLatin1String defaultValue;
};

inline QString ReadSetting(SettingsStore& store, const TextSetting& setting) {
    return store.read(setting.key, setting.defaultValue);
}
inline void WriteSetting(SettingsStore& store, const TextSetting& setting, const QString& value) {
    store.write(setting.key, value);
}

// A stored whole number and a stored Boolean; a stored text that does not convert throws Failure.
struct IntegerSetting {
    QLatin1String key;
    int defaultValue;
};
struct BooleanSetting {
    QLatin1String key;
    bool defaultValue;
};
// A stored text whose default only the running system knows, so the reader gives it.
struct ComputedTextSetting {
    QLatin1String key;
};

inline int ReadSetting(SettingsStore& store, const IntegerSetting& setting) {
    return ReadInteger(store, setting.key, setting.defaultValue);
}
inline void WriteSetting(SettingsStore& store, const IntegerSetting& setting, int value) {
    WriteInteger(store, setting.key, value);
}
inline bool ReadSetting(SettingsStore& store, const BooleanSetting& setting) {
    return ReadBoolean(store, setting.key, setting.defaultValue);
}
inline void WriteSetting(SettingsStore& store, const BooleanSetting& setting, bool value) {
    WriteBoolean(store, setting.key, value);
}
inline QString ReadSetting(SettingsStore& store, const ComputedTextSetting& setting,
                           const QString& defaultValue) {
    return store.read(setting.key, defaultValue);
}
inline void WriteSetting(SettingsStore& store, const ComputedTextSetting& setting,
                         const QString& value) {
    store.write(setting.key, value);
}

// Every setting the program stores, each declared once.
namespace settings {
// The sample files recorded at the first start, scrambled; empty until some were found.
inline constexpr TextSetting kSnapshot{QLatin1String("Snapshot"), QLatin1String("")};
// The main window's options, in the order start-up restores them. The output folder's default
// is the desktop folder followed by a separator.
inline constexpr IntegerSetting kCheck2{QLatin1String("Check2"), 0};
inline constexpr IntegerSetting kTabControl1{QLatin1String("TabControl1"), 0};
inline constexpr ComputedTextSetting kOutputFolder{QLatin1String("Output Folder")};
inline constexpr BooleanSetting kOption1{QLatin1String("Option1"), true};
inline constexpr BooleanSetting kOption2{QLatin1String("Option2"), false};
// The folder last chosen with the output folder's "..." button, as the browser gave it.
inline constexpr TextSetting kLastFolderDot{QLatin1String("LastFolderDot"), QLatin1String("")};
// The folder import: the extension last typed and the folder last chosen.
inline constexpr TextSetting kExtension{QLatin1String("Extension"), QLatin1String("mpp")};
inline constexpr TextSetting kLastFolder{QLatin1String("LastFolder"), QLatin1String("")};
// The Load Sets dialog's separator, exactly as typed: an emptied box stays empty.
inline constexpr TextSetting kSeparator{QLatin1String("Form2.Text2"), QLatin1String("::")};
// How many seconds one step of a pass (open, one Replace, save, close) may take in a private
// Microsoft Project before that instance is ended; Windows only.
inline constexpr IntegerSetting kProjectStepSeconds{QLatin1String("Project Step Seconds"), 600};
}  // namespace settings

}  // namespace quillmere
