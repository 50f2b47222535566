#include "acquisition/Settings.h"

#include "link/PortTable.h"

#include <QString>

#include <limits>

namespace quillmar {

namespace {

QString portKey(uint8_t number) {
    return QStringLiteral("%1/Ports/COM%2").arg(SettingsKey).arg(number);
}

QString logFolderKey() {
    return QStringLiteral("%1/Folders/Logs").arg(SettingsKey);
}

QString valueKey(const char* name) {
    return QStringLiteral("%1/%2").arg(SettingsKey, name);
}

} // namespace

std::unique_ptr<QSettings> OpenSettings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Quillmar", "Quillmar");
}

bool SettingsKeyExists(QSettings& settings) {
    settings.beginGroup(SettingsKey);
    const bool exists = !settings.childKeys().isEmpty();
    settings.endGroup();
    return exists;
}

std::optional<int32_t> ReadInt32(QSettings& settings, const char* name) {
    const QVariant value = settings.value(valueKey(name));
    if (!value.isValid()) return std::nullopt;
    bool ok = false;
    const qlonglong n = value.toString().trimmed().toLongLong(&ok);
    if (!ok || n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(n);
}

void WriteInt32(QSettings& settings, const char* name, int32_t value) {
    settings.setValue(valueKey(name), value);
}

void LoadPortOverrides(QSettings& settings) {
    for (uint8_t n = FirstPortNumber; n <= LastPortNumber; ++n) {
        const std::string device = PortOverride(settings, n);
        if (!device.empty()) SetPortDevice(n, device);
    }
}

std::string PortOverride(QSettings& settings, uint8_t number) {
    return settings.value(portKey(number)).toString().trimmed().toStdString();
}

void StorePortOverride(QSettings& settings, uint8_t number, const std::string& device) {
    if (device.empty())
        settings.remove(portKey(number));
    else
        settings.setValue(portKey(number), QString::fromStdString(device));
}

std::string LogFolder(QSettings& settings) {
    return settings.value(logFolderKey()).toString().toStdString();
}

void StoreLogFolder(QSettings& settings, const std::string& folder) {
    if (folder.empty())
        settings.remove(logFolderKey());
    else
        settings.setValue(logFolderKey(), QString::fromStdString(folder));
}

} // namespace quillmar
