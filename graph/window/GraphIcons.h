#pragma once
// Tool bar icons of the graph commands: the desktop theme's where it has
// them, otherwise drawn here, so a tool bar never shows a blank.

#include <QIcon>

namespace quillmar {

enum class GraphIcon { Zoom, ResetZoom, Save, Print, Copy };

QIcon graphIcon(GraphIcon which);
// The drawn icon alone.
QIcon drawnGraphIcon(GraphIcon which);

} // namespace quillmar
