#pragma once

#include "platform/settings_store.h"

#include <QSettings>

#include <memory>

namespace quillmere {

// The per-user store on QSettings: application name "Vandrel", section "Quillmere" (the registry
// under HKCU\Software\Vandrel\Quillmere on Windows; ~/.config/Vandrel.conf, section
// [Quillmere], on Linux, honouring XDG_CONFIG_HOME). Every write reaches the disk at once; a
// write that cannot be stored throws Failure, and only that write; a damaged file is written over.
class QtSettingsStore : public SettingsStore {
  public:
    QtSettingsStore();
    // A store in the given INI file, for tests.
    explicit QtSettingsStore(const QString& iniFile);

    QString read(const QString& key, const QString& defaultValue) override;
    void write(const QString& key, const QString& value) override;

  private:
    std::unique_ptr<QSettings> open() const;
    QSettings::Status writeOnce(const QString& key, const QString& value) const;
    QString m_iniFile;  // empty for the user's store
};

}  // namespace quillmere
