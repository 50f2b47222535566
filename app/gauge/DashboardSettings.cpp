#include "app/gauge/DashboardSettings.h"

#include <QSettings>

namespace quillmar {

DashboardLayout LoadDashboard(QSettings& settings) {
    settings.beginGroup(DashboardSettingsGroup);
    std::map<std::string, std::string> entries;
    for (const QString& key : settings.allKeys())
        entries[key.toStdString()] = settings.value(key).toString().toStdString();
    settings.endGroup();
    return DashboardFromEntries(entries).value_or(DefaultDashboard());
}

void StoreDashboard(QSettings& settings, const DashboardLayout& layout) {
    settings.remove(DashboardSettingsGroup);
    if (layout == DefaultDashboard()) return;
    settings.beginGroup(DashboardSettingsGroup);
    for (const auto& [key, value] : DashboardEntries(layout))
        settings.setValue(QString::fromStdString(key), QString::fromStdString(value));
    settings.endGroup();
}

} // namespace quillmar
