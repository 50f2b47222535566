#include "graph/draw/AxesDraw.h"

#include "graph/draw/Canvas.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace quillmar {

namespace {

// Width of a caption drawn as its three pieces, the middle one at half height.
int captionWidth(TCanvas& canvas, const TAxisCaption& caption) {
    int width = canvas.TextWidth(caption.Main);
    if (!caption.Superscript.empty() || !caption.Tail.empty()) {
        TFont small = canvas.Font;
        small.Height = static_cast<int>(roundEven(std::abs(small.Height) * 0.5L));
        width += canvas.TextExtent(small, caption.Superscript).Width + canvas.TextWidth(caption.Tail);
    }
    return width;
}

bool hasExponent(const TAxisCaption& caption) {
    return !caption.Superscript.empty() || !caption.Tail.empty();
}

} // namespace

void DrawAxes(TAxes& axes, TCanvas& canvas) {
    TAxis& x = axes.Axis(0);
    TAxis& left = axes.Axis(1);
    if (!x.Visible) return;
    axes.GetClientAreaInfo(canvas);
    for (int index = 0; index <= 2; ++index)
        axes.Axis(index).SetupScale(canvas);

    // Title
    const TTitle& title = axes.Title;
    canvas.Font = title.Font;
    canvas.TextOut(0, 0, title.Line1);
    canvas.TextOut(0, static_cast<int>(roundEven(std::abs(title.Font.Height))), title.Line2);

    // x axis: ticks point down out of the plot, labels below them.
    canvas.Font = x.Font;
    canvas.Pen = x.Pen;
    const int yb = left.Info.AxisStart.Pixel;
    const int t = left.TickLength;
    for (int k = 0; k < x.TickCount; ++k) {
        const int px = x.Info.AxisStart.Pixel + x.TickOffset(k);
        canvas.MoveTo(px, yb);
        canvas.LineTo(px, yb + t);
        const std::string label = x.TickLabel(k);
        if (x.Scaling == LogScale) {
            canvas.TextOut(px - canvas.TextWidth("10" + label) / 2, yb + t, "10");
            SuperscriptTextOut(canvas, label, 0);
        } else {
            canvas.TextOut(px - static_cast<int>(roundEven(canvas.TextWidth(label) * 0.5L)), yb + t, label);
        }
    }
    const TAxisCaption xCaption = x.Caption();
    const int centre = (x.Info.AxisStart.Pixel + x.Info.AxisEnd.Pixel) / 2;
    const int captionTop =
        yb + t + static_cast<int>(roundEven(std::abs(static_cast<long double>(left.Font.Height)) * 1.2L));
    canvas.TextOut(centre - captionWidth(canvas, xCaption) / 2, captionTop, xCaption.Main);
    if (hasExponent(xCaption)) {
        SuperscriptTextOut(canvas, xCaption.Superscript, 0);
        canvas.TextOut(canvas.PenPos.X, canvas.PenPos.Y, xCaption.Tail);
    }
    canvas.MoveTo(x.Info.AxisStart.Pixel, yb);
    canvas.LineTo(x.Info.AxisEnd.Pixel, yb);

    // The zero line of the left y axis, in the x axis' pen.
    canvas.MoveTo(x.Info.AxisStart.Pixel, left.GetPixel(0));
    if (left.Info.AxisStart.ScaleValue <= 0 && left.Info.AxisEnd.ScaleValue >= 0)
        canvas.LineTo(x.Info.AxisEnd.Pixel, canvas.PenPos.Y);

    // The y axes: ticks point into the plot, labels beside them, the caption
    // turned upward and centred on the axis.
    for (int index = 1; index <= 2; ++index) {
        TAxis& y = axes.Axis(index);
        if (!y.Visible) continue;
        const bool isLeft = index == 1;
        const int xa = isLeft ? x.Info.AxisStart.Pixel : x.Info.AxisEnd.Pixel;
        if (y.Info.AxisEnd.ScaleValue > y.Info.AxisStart.ScaleValue) {
            canvas.Font = y.Font;
            canvas.Pen = y.Pen;
            const int tick = y.TickLength;
            const int fontHeight = std::abs(y.Font.Height);
            int leftmost = INT_MAX, rightmost = INT_MIN;
            for (int k = 0; k < y.TickCount; ++k) {
                const int py = y.Info.AxisStart.Pixel - y.TickOffset(k);
                canvas.MoveTo(xa, py);
                canvas.LineTo(isLeft ? xa + tick : xa - tick, py);
                const int top = py - static_cast<int>(roundEven(fontHeight / 2.0L));
                const std::string label = y.TickLabel(k);
                int start, width;
                if (y.Scaling == LogScale) {
                    width = canvas.TextWidth("10" + label);
                    start = isLeft ? xa - width : xa;
                    canvas.TextOut(start, top, "10");
                    SuperscriptTextOut(canvas, label, 0);
                } else {
                    width = canvas.TextWidth(label);
                    start = isLeft ? xa - (width + tick) : xa + tick;
                    canvas.TextOut(start, top, label);
                }
                leftmost = std::min(leftmost, start);
                rightmost = std::max(rightmost, start + width);
            }
            if (y.TickCount == 0) leftmost = rightmost = xa;
            const TAxisCaption caption = y.Caption();
            const int width = captionWidth(canvas, caption);
            const int cx =
                isLeft ? static_cast<int>(roundEven((leftmost - fontHeight) / 2.0L))
                       : static_cast<int>(roundEven((rightmost + axes.ClientWidth - fontHeight) / 2.0L));
            const int cy = static_cast<int>(roundEven(
                (static_cast<long double>(y.Info.AxisStart.Pixel) + y.Info.AxisEnd.Pixel + width) / 2));
            RotatedTextOut(canvas, cx, cy, 90, caption.Main);
            if (hasExponent(caption)) {
                SuperscriptTextOut(canvas, caption.Superscript, 90);
                RotatedTextOut(canvas, canvas.PenPos.X, canvas.PenPos.Y, 90, caption.Tail);
            }
        }
        canvas.MoveTo(xa, left.Info.AxisStart.Pixel);
        canvas.LineTo(xa, left.Info.AxisEnd.Pixel);
    }
}

} // namespace quillmar
