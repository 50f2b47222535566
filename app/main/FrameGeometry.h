#pragma once
// Where the frame window goes on a screen: plain arithmetic on rectangles,
// no toolkit, so that any screen size can be tried directly.

namespace quillmar {

struct FrameRect {
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const FrameRect&) const = default;
};

// The frame's client rectangle (position of its outer corner, size of its
// inside) moved and, when it must, shrunk so that the whole window, with
// decoration (the width and height the window manager adds around the
// inside), lies inside available (the screen less its panels). A frame that
// fits stays as it is. The size never goes below minimum width and height
// unless the screen itself is smaller than that.
FrameRect FitFrame(FrameRect frame, const FrameRect& available, int decorationWidth, int decorationHeight,
                   int minimumWidth, int minimumHeight);

} // namespace quillmar
