#pragma once
// Helpers of the graph's drawing and window tests.

#include "graph/core/Curves.h"
#include "store/base/Messages.h"

#include <QImage>

#include <functional>
#include <string>
#include <vector>

namespace quillmar::testing {

// A curve of n points, x = i * dx, y = f(i) for i = 1..n.
inline TCurve& addSeries(TCurves& curves, uint32_t n, double dx, const std::function<double(uint32_t)>& f,
                         int yAxis = 1) {
    TCurve& c = curves.Add();
    c.Enabled = true;
    c.YAxis = static_cast<uint8_t>(yAxis);
    c.Series->MakeXY(n, 8);
    for (uint32_t i = 1; i <= n; ++i) {
        c.Series->SetX(i, i * dx);
        c.Series->SetY(i, f(i));
    }
    return c;
}

inline long differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    const QImage pa = a.convertToFormat(QImage::Format_RGB32), pb = b.convertToFormat(QImage::Format_RGB32);
    long count = 0;
    for (int y = 0; y < pa.height(); ++y)
        for (int x = 0; x < pa.width(); ++x)
            count += pa.pixel(x, y) != pb.pixel(x, y);
    return count;
}

inline long nonWhitePixels(const QImage& image) {
    const QImage p = image.convertToFormat(QImage::Format_RGB32);
    long count = 0;
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            count += (p.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    return count;
}

// Answers every message box and keeps what it was asked, while it lives.
struct RecordingMessenger : Messenger {
    std::vector<std::string> Seen;
    Messenger* Previous = nullptr;
    RecordingMessenger() { Previous = setMessenger(this); }
    ~RecordingMessenger() override { setMessenger(Previous); }
    Answer ask(const std::string& caption, const std::string& text, Buttons) override {
        Seen.push_back(caption + "|" + text);
        return Answer::Ok;
    }
};

} // namespace quillmar::testing
