#pragma once
// The tool bar's pictures, drawn at 16 and 24 pixels: coloured shapes with a
// dark outline, readable on light and dark themes.

#include <QIcon>

namespace quillmar {

enum class ToolIcon { Open, Save, ExportExcel, Cascade, TileVertically, Copy, Zoom, UnZoom, SaveBitmap };

QIcon MakeToolIcon(ToolIcon which);

} // namespace quillmar
