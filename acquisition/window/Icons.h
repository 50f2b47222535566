#pragma once
// The program's one set of tool icons: SVG pictures in the resources
// (acquisition/window/icons), 24 x 24 units with a dark 1.5-unit outline and
// flat colours, drawn sharp at any size and screen scale. The frame, the
// acquisition window and the graph window take their tool-bar and menu
// icons from here.

#include <QIcon>
#include <QString>

namespace quillmar {

enum class ToolIcon {
    Open,
    Save,
    SavePicture,       // the graph saved as a picture
    ExportSpreadsheet, // a dataset into the spreadsheet application
    Cascade,
    TileVertically,
    ZoomIn,
    ZoomOriginal,
    Print,
    Copy,
    Bookmark,    // a moment of the recording marked
    Application, // the program's own icon (the installed one)
};

inline constexpr ToolIcon AllToolIcons[] = {
    ToolIcon::Open,    ToolIcon::Save,           ToolIcon::SavePicture, ToolIcon::ExportSpreadsheet,
    ToolIcon::Cascade, ToolIcon::TileVertically, ToolIcon::ZoomIn,      ToolIcon::ZoomOriginal,
    ToolIcon::Print,   ToolIcon::Copy,           ToolIcon::Bookmark,    ToolIcon::Application};

// The resource path of the icon's picture (":/quillmar/icons/save.svg").
QString toolIconPath(ToolIcon which);

// The icon from the program's set.
QIcon toolIcon(ToolIcon which);

// The desktop theme's icon of the same meaning when the theme has one (for
// the commands every program has: open, save, print, copy, zoom), otherwise
// the program's.
QIcon themedToolIcon(ToolIcon which);

} // namespace quillmar
