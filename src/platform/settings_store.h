#pragma once

#include <QString>

namespace quillmere {

// The per-user key/value store of the program's choices, under one application name and one
// section. Values are text; a read of a missing key gives the default back.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual QString read(const QString& key, const QString& defaultValue) = 0;
    virtual void write(const QString& key, const QString& value) = 0;
};

}  // namespace quillmere
