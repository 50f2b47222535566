#include "app/main/FrameGeometry.h"

#include <algorithm>

namespace quillmar {

namespace {

// One axis: the length shrunk to the room, then the start pulled inside.
void fitAxis(int& start, int& length, int roomStart, int room, int decoration, int minimum) {
    const int inside = std::max(1, room - decoration);
    length = std::clamp(length, std::min(minimum, inside), inside);
    const int outer = length + decoration;
    start = std::clamp(start, roomStart, std::max(roomStart, roomStart + room - outer));
}

} // namespace

FrameRect FitFrame(FrameRect frame, const FrameRect& available, int decorationWidth, int decorationHeight,
                   int minimumWidth, int minimumHeight) {
    fitAxis(frame.X, frame.Width, available.X, available.Width, std::max(0, decorationWidth), minimumWidth);
    fitAxis(frame.Y, frame.Height, available.Y, available.Height, std::max(0, decorationHeight),
            minimumHeight);
    return frame;
}

} // namespace quillmar
