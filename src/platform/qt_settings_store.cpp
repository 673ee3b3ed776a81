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
    // A file that does not read as settings gives FormatError, which tells nothing of the write:
    // the write merges what could be read and writes the file anew. A second write tells whether
    // that worked, as the error comes back only while the file is still the damaged one.
    QSettings::Status status = writeOnce(key, value);
    if (status == QSettings::FormatError) status = writeOnce(key, value);
    if (status != QSettings::NoError)
        throw Failure(errors::kPathFileAccess,
                      QStringLiteral("The setting %1 could not be stored.").arg(key));
}

QSettings::Status QtSettingsStore::writeOnce(const QString& key, const QString& value) const {
    // A QSettings keeps the first error it met for good, so each write gets its own object.
    const std::unique_ptr<QSettings> settings = open();
    settings->setValue(kSection + QLatin1Char('/') + key, value);
    settings->sync();
    return settings->status();
}

}  // namespace quillmere
