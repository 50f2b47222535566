#pragma once
// Tool bar icons of the graph commands, from the program's one icon set
// (acquisition/window/Icons.h): the desktop theme's where it has them.

#include <QIcon>

namespace quillmar {

enum class GraphIcon { Zoom, ResetZoom, Save, Print, Copy };

QIcon graphIcon(GraphIcon which);

} // namespace quillmar
