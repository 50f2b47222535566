#pragma once
// The dashboard's layout in the settings, under Software/Quillmar/Dials.

#include "app/gauge/core/DashboardLayout.h"

class QSettings;

namespace quillmar {

inline constexpr const char* DashboardSettingsGroup = "Software/Quillmar/Dials";

// The layout kept, or the default when none is kept (or none can be read).
DashboardLayout LoadDashboard(QSettings& settings);
// Keeps layout; the default is kept as no layout at all, so that the
// default of a later version applies.
void StoreDashboard(QSettings& settings, const DashboardLayout& layout);

} // namespace quillmar
