#include "platform/qt_settings_store.h"

#include "platform/failure.h"

namespace quillmere {
namespace {
const QString kSection = QStringLiteral("Quillmere");
}

QtSettingsStore::QtSettingsStore() = default;

QtSettingsStore::QtSettingsStore(const QString& iniFile) : m_iniFile(iniFile) {}

std::unique_ptr<QSettings> QtSettingsStore::open() const {
    if (!m_iniFile.isEmpty()) return std::make_unique<QSettings>(m_iniFile, QSettings::IniFormat);
#ifdef _WIN32
    // Given only an organisation name, Qt keeps its keys under
    // HKCU\Software\Vandrel\OrganizationDefaults; a registry path names the key itself.
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\Vandrel"),
                                       QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Vandrel"));
#endif
}

QString QtSettingsStore::read(const QString& key, const QString& defaultValue) {
    return open()->value(kSection + QLatin1Char('/') + key, defaultValue).toString();
}

void QtSettingsStore::write(const QString& key, const QString& value) {
    // A QSettings keeps the first error it met for good, so each write gets its own object.
    const std::unique_ptr<QSettings> settings = open();
    settings->setValue(kSection + QLatin1Char('/') + key, value);
    settings->sync();
    if (settings->status() != QSettings::NoError)
        throw Failure(errors::kPathFileAccess,
                      QStringLiteral("The setting %1 could not be stored.").arg(key));
}

}  // namespace quillmere
