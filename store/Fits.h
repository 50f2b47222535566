#pragma once
// Smoothing fits on top of the x/y series: a natural cubic spline through the
// points and a moving average over neighbouring points. Both hold 8-byte
// (double) elements and are filled with SetX/SetY.

#include "store/Store.h"

#include <memory>

namespace quillmar {

// A curve fitted through a series.
class TFitType : public TxyDataStruct {
public:
    virtual void Compute() = 0;
    // direction -1: fill other (empty) with this fit's x and fitted values;
    // direction 1: copy other's points into this series; any other: nothing.
    virtual bool CopyFit(int direction, TxyDataStruct& other);
    virtual long double Evaluate(long double x) const = 0;
};

// Natural cubic spline (second derivative 0 at both ends). Points must be in
// ascending x; the spline does not sort them. Use: MakeXY(n, 8), SetX/SetY
// (DeleteRow/DeleteRows as needed), Compute() once, then Evaluate(x).
class TCubicSpline : public TFitType {
public:
    TCubicSpline();
    ~TCubicSpline() override;

    std::unique_ptr<TNumberStore> SecondDerivs; // D(i), absent until sized
    std::unique_ptr<TNumberStore> Scratch;      // U(i) of the tridiagonal solution

    void Clear() override;
    bool MakeXY(uint32_t n, uint32_t elementSize) override;
    bool SetPoints(uint32_t n) override;
    void Compute() override;
    long double Evaluate(long double x) const override;
};

// A series whose y values read back as the mean over Window neighbouring
// points (i - Window div 2 .. first + Window - 1, clipped to the series).
// A Window of 0 behaves as 1.
class TMovingAve : public TxyDataStruct {
public:
    uint8_t Window = 1;

    long double GetY(uint32_t i) const override;
};

} // namespace quillmar
