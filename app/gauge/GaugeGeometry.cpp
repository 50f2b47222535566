#include "app/gauge/GaugeGeometry.h"

#include <algorithm>
#include <cmath>

namespace quillmar {

namespace {

constexpr long double DegreesToRadians = 3.14159265358979323846264338327950288L / 180.0L;

// Round half to even, as the dial's arithmetic always has: a needle at 100
// of the boost dial's 200 ends at x = 152.5 and must stay above the pivot
// at 152.
int roundToInt(long double v) {
    return static_cast<int>(std::nearbyint(v));
}

// Cosine and sine of an angle in degrees, exact at the multiples of 90 so
// that straight lines stay straight.
long double cosDegrees(long double degrees) {
    const long double r = std::fmod(degrees, 360.0L);
    if (r == 0) return 1;
    if (r == 90 || r == -270) return 0;
    if (r == 180 || r == -180) return -1;
    if (r == 270 || r == -90) return 0;
    return std::cos(r * DegreesToRadians);
}

long double sinDegrees(long double degrees) {
    return cosDegrees(degrees - 90.0L);
}

} // namespace

int RoundHalfEven(double v) {
    return roundToInt(v);
}

int StyleSweep(TStyle style, int angle) {
    return style != TStyle::CenterStyle && angle > 90 ? 90 : angle;
}

GaugeGeometry MakeGaugeGeometry(TStyle style, int angle, int width, int height, int margin) {
    GaugeGeometry g;
    g.Angle = angle;
    const int m = margin;
    switch (style) {
    case TStyle::LeftStyle:
        g.Cx = m;
        g.Cy = height - m;
        g.Radius = width - 2 * m;
        g.A0 = 90;
        g.H = g.Cx;
        break;
    case TStyle::RightStyle:
        g.Cx = width - m;
        g.Cy = height - m;
        g.Radius = width - 2 * m;
        g.A0 = 0;
        g.H = g.Cx;
        break;
    case TStyle::CenterStyle:
        g.A0 = (180.0 - angle) / 2.0;
        g.Cx = width / 2;
        g.H = width / 2.0;
        if (angle >= 180) {
            g.Cy = height / 2;
            g.Radius = (width - 2 * m) / 2;
        } else {
            const long double c = cosDegrees(g.A0);
            const int f = std::min(roundToInt((width - 2 * m) / 2.0L / c), height - 2 * m);
            g.Radius = f;
            g.Cy = f + (height - f) / 2;
        }
        break;
    }
    return g;
}

double ValueAngle(const GaugeGeometry& g, double value, int scale) {
    return static_cast<double>(static_cast<long double>(g.A0) +
                               static_cast<long double>(g.Angle) * value / static_cast<long double>(scale));
}

GaugePoint PointAt(const GaugeGeometry& g, double rho, double theta) {
    return {roundToInt(g.H - rho * cosDegrees(theta)), roundToInt(g.Cy - rho * sinDegrees(theta))};
}

} // namespace quillmar
