#include "platform/qt_settings_store.h"

#include "platform/failure.h"

namespace quillmere {
namespace {
const QString kSection = QStringLiteral("Quillmere");
}

QtSettingsStore::QtSettingsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vandrel")) {}

QtSettingsStore::QtSettingsStore(const QString& iniFile)
    : m_settings(iniFile, QSettings::IniFormat) {}

QString QtSettingsStore::read(const QString& key, const QString& defaultValue) {
    return m_settings.value(kSection + QLatin1Char('/') + key, defaultValue).toString();
}

void QtSettingsStore::write(const QString& key, const QString& value) {
    m_settings.setValue(kSection + QLatin1Char('/') + key, value);
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        throw Failure(errors::kPathFileAccess,
                      QStringLiteral("The setting %1 could not be stored.").arg(key));
}

}  // namespace quillmere
