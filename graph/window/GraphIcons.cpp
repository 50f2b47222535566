#include "graph/window/GraphIcons.h"

#include "acquisition/window/Icons.h"

namespace quillmar {

QIcon graphIcon(GraphIcon which) {
    switch (which) {
    case GraphIcon::Zoom:
        return themedToolIcon(ToolIcon::ZoomIn);
    case GraphIcon::ResetZoom:
        return themedToolIcon(ToolIcon::ZoomOriginal);
    case GraphIcon::Save:
        // The graph as a picture: not the dataset's save.
        return themedToolIcon(ToolIcon::SavePicture);
    case GraphIcon::Print:
        return themedToolIcon(ToolIcon::Print);
    case GraphIcon::Copy:
        return themedToolIcon(ToolIcon::Copy);
    }
    return {};
}

} // namespace quillmar
