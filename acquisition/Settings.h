#pragma once
// The user's settings: the file ~/.config/Quillmar/Quillmar.ini (through
// QSettings, so XDG_CONFIG_HOME moves it), the key Software/Quillmar in it
// with the main window's 32-bit values, the COMn overrides under
// Software/Quillmar/Ports that quillmar-cli reads too, and the folder of the
// log files last used under Software/Quillmar/Folders.

#include <QSettings>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quillmar {

inline constexpr const char* SettingsKey = "Software/Quillmar";

// The settings file, with no group begun.
std::unique_ptr<QSettings> OpenSettings();

// True when the key holds a value of its own (the main window's values; the
// port overrides below it do not count).
bool SettingsKeyExists(QSettings& settings);

// A value of the key as a 32-bit integer; nullopt when it is missing or is
// not one.
std::optional<int32_t> ReadInt32(QSettings& settings, const char* name);
void WriteInt32(QSettings& settings, const char* name, int32_t value);

// Points every COMn the settings override at its device (PortTable.h).
void LoadPortOverrides(QSettings& settings);
// The override of COMn as stored; empty when there is none.
std::string PortOverride(QSettings& settings, uint8_t number);
// Stores the override of COMn; an empty device removes it.
void StorePortOverride(QSettings& settings, uint8_t number, const std::string& device);

// The folder log files were last opened from or saved to (under
// Software/Quillmar/Folders, so it does not count as the key's own value);
// empty when none is kept.
std::string LogFolder(QSettings& settings);
void StoreLogFolder(QSettings& settings, const std::string& folder);

} // namespace quillmar
