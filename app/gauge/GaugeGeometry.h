#pragma once
// Where things lie on a dial: the pivot, the radius and the angles of the
// scale, for a bitmap of a given size. Face and needle use the same numbers.

namespace quillmar {

enum class TStyle { LeftStyle, RightStyle, CenterStyle };

struct GaugeGeometry {
    int Cx = 0, Cy = 0; // pivot
    int Radius = 0;     // r: the scale's circle
    double A0 = 0;      // angle of the value 0, degrees
    double H = 0;       // horizontal reference of PointAt: W / 2 for the centre style, else Cx
    int Angle = 0;      // the scale's sweep, degrees
};

// The sweep a style draws with: the side styles take at most 90 degrees.
int StyleSweep(TStyle style, int angle);

// Geometry of a width x height bitmap with margin pixels of margin (both
// already multiplied by the supersampling factor). angle is the sweep as
// StyleSweep gives it.
//   LeftStyle:   pivot (m, H - m), r = W - 2m, a0 = 90
//   RightStyle:  pivot (W - m, H - m), r = W - 2m, a0 = 0
//   CenterStyle: a0 = (180 - angle) / 2; angle >= 180: pivot (W div 2,
//                H div 2), r = (W - 2m) div 2; below 180: r = f =
//                min(Round((W - 2m) / 2 / cos a0), H - 2m), pivot
//                (W div 2, f + (H - f) div 2)
GaugeGeometry MakeGaugeGeometry(TStyle style, int angle, int width, int height, int margin);

// The angle of value on a scale running from 0 to scale: a0 + Angle * value / scale.
double ValueAngle(const GaugeGeometry& g, double value, int scale);

struct GaugePoint {
    int X = 0, Y = 0;
    bool operator==(const GaugePoint&) const = default;
};

// The point at distance rho from the pivot at angle theta (degrees):
// (Round(H - rho cos theta), Round(Cy - rho sin theta)), rounding half to
// even. The scale runs clockwise on the screen as the angle grows.
GaugePoint PointAt(const GaugeGeometry& g, double rho, double theta);

// Round(v) as PointAt rounds.
int RoundHalfEven(double v);

} // namespace quillmar
