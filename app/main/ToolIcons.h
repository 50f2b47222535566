#pragma once
// The tool bar's pictures, drawn at 16 and 24 pixels: coloured shapes with a
// dark outline, readable on light and dark themes.

#include <QIcon>

namespace quillmar {

// The frame's own tool-bar pictures; the graph's actions bring their own.
enum class ToolIcon { Open, Save, ExportExcel, Cascade, TileVertically };

QIcon MakeToolIcon(ToolIcon which);

} // namespace quillmar
