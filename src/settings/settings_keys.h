#pragma once

#include "platform/settings_store.h"

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

// Every setting the program stores, each declared once.
namespace settings {
// The folder import: the extension last typed and the folder last chosen.
inline constexpr TextSetting kExtension{QLatin1String("Extension"), QLatin1String("mpp")};
inline constexpr TextSetting kLastFolder{QLatin1String("LastFolder"), QLatin1String("")};
// The Load Sets dialog's separator, exactly as typed: an emptied box stays empty.
inline constexpr TextSetting kSeparator{QLatin1String("Form2.Text2"), QLatin1String("::")};
}  // namespace settings

}  // namespace quillmere
