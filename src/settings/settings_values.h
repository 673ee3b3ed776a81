#pragma once

#include <QString>

#include <chrono>

namespace quillmere {

class SettingsStore;

// Typed reads and writes on the settings store. Values are stored as text: numbers in decimal,
// Booleans as "True" and "False". A stored text that does not convert throws Failure 13
// ("Type mismatch"), so the one step that reads it fails.
int ReadInteger(SettingsStore& store, const QString& key, int defaultValue);
bool ReadBoolean(SettingsStore& store, const QString& key, bool defaultValue);
void WriteInteger(SettingsStore& store, const QString& key, int value);
void WriteBoolean(SettingsStore& store, const QString& key, bool value);

// The stored step deadline of a private Microsoft Project; its default when the stored value
// cannot be read or is not a positive number.
std::chrono::seconds ProjectStepDeadline(SettingsStore& store);

// The usual text-to-Boolean rule: "True"/"False" in any letter case, or a number (0 is false).
bool TextToBoolean(const QString& text);
int TextToInteger(const QString& text);

}  // namespace quillmere
