#include "settings/settings_values.h"

#include "platform/failure.h"
#include "platform/settings_store.h"
#include "settings/settings_keys.h"

#include <cmath>

namespace quillmere {
namespace {

[[noreturn]] void Mismatch(const QString& text) {
    throw Failure(errors::kTypeMismatch, QStringLiteral("Type mismatch: \"%1\"").arg(text));
}

}  // namespace

std::chrono::seconds ProjectStepDeadline(SettingsStore& store) {
    const int fallback = settings::kProjectStepSeconds.defaultValue;
    try {
        const int seconds = ReadSetting(store, settings::kProjectStepSeconds);
        return std::chrono::seconds(seconds > 0 ? seconds : fallback);
    } catch (const Failure&) {
        return std::chrono::seconds(fallback);
    }
}

int TextToInteger(const QString& text) {
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || std::abs(number) > 2147483647.0) Mismatch(text);
    // Whole-number conversion rounds half to even, as the classic runtime does.
    return int(std::nearbyint(number));
}

bool TextToBoolean(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    bool ok = false;
    const double number = trimmed.toDouble(&ok);
    if (!ok) Mismatch(text);
    return number != 0.0;
}

int ReadInteger(SettingsStore& store, const QString& key, int defaultValue) {
    return TextToInteger(store.read(key, QString::number(defaultValue)));
}

bool ReadBoolean(SettingsStore& store, const QString& key, bool defaultValue) {
    return TextToBoolean(
        store.read(key, defaultValue ? QStringLiteral("True") : QStringLiteral("False")));
}

void WriteInteger(SettingsStore& store, const QString& key, int value) {
    store.write(key, QString::number(value));
}

void WriteBoolean(SettingsStore& store, const QString& key, bool value) {
    store.write(key, value ? QStringLiteral("True") : QStringLiteral("False"));
}

}  // namespace quillmere
