#include "acquisition/window/Icons.h"

// The resources of a static library are registered by name once something
// asks for them.
static void registerIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace quillmar {

namespace {

const char* fileName(ToolIcon which) {
    switch (which) {
    case ToolIcon::Open:
        return "open.svg";
    case ToolIcon::Save:
        return "save.svg";
    case ToolIcon::SavePicture:
        return "save-picture.svg";
    case ToolIcon::ExportSpreadsheet:
        return "export-spreadsheet.svg";
    case ToolIcon::Cascade:
        return "cascade.svg";
    case ToolIcon::TileVertically:
        return "tile-vertically.svg";
    case ToolIcon::ZoomIn:
        return "zoom-in.svg";
    case ToolIcon::ZoomOriginal:
        return "zoom-original.svg";
    case ToolIcon::Print:
        return "print.svg";
    case ToolIcon::Copy:
        return "copy.svg";
    case ToolIcon::Bookmark:
        return "bookmark.svg";
    case ToolIcon::Application:
        return "quillmar.svg";
    }
    return "";
}

// The freedesktop name of the icon, empty when the themes have none of that
// meaning.
const char* themeName(ToolIcon which) {
    switch (which) {
    case ToolIcon::Open:
        return "document-open";
    case ToolIcon::Save:
        return "document-save";
    case ToolIcon::ZoomIn:
        return "zoom-in";
    case ToolIcon::ZoomOriginal:
        return "zoom-original";
    case ToolIcon::Print:
        return "document-print";
    case ToolIcon::Copy:
        return "edit-copy";
    case ToolIcon::Application:
        return "io.github.quillmar.Quillmar";
    default:
        return "";
    }
}

} // namespace

QString toolIconPath(ToolIcon which) {
    static const bool registered = [] {
        registerIconResources();
        return true;
    }();
    (void)registered;
    return QStringLiteral(":/quillmar/icons/") + QLatin1String(fileName(which));
}

QIcon toolIcon(ToolIcon which) {
    // The SVG engine renders the picture at the size and scale asked for.
    return QIcon(toolIconPath(which));
}

QIcon themedToolIcon(ToolIcon which) {
    const QString name = QLatin1String(themeName(which));
    if (!name.isEmpty() && QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
    return toolIcon(which);
}

} // namespace quillmar
