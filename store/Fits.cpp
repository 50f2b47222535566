#include "store/Fits.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <typeinfo>

namespace quillmar {

namespace {

// Reads x and y of a series exactly as TxyDataStruct::GetX/GetY do, without
// the virtual calls and stream checks per value. Valid for 8-byte elements.
class DirectSeries {
public:
    explicit DirectSeries(const TxyDataStruct& s)
        : s_(s), base_(s.memory()), limit_(std::min<uint64_t>(s.RecordCount, s.size() / 8)) {}

    static bool usable(const TxyDataStruct& s) {
        return s.RecordSize == 8 && std::endian::native == std::endian::little;
    }

    long double x(uint32_t i) const {
        long double raw = s_.Kind == 1 ? (static_cast<long double>(i) - 1) * s_.XRange.DX + s_.XRange.X0
                                       : element(s_.XColumn, i);
        return raw * s_.XYScaling.XScale + s_.XYScaling.XOffset;
    }
    long double y(uint32_t i) const {
        return element(s_.YColumn, i) * s_.XYScaling.YScale + s_.XYScaling.YOffset;
    }

private:
    long double element(int32_t column, uint32_t row) const {
        // The same index rule and range as GetElement: 0 outside the records.
        int64_t index = int64_t{static_cast<uint32_t>(column)} + (int64_t{row} - 1) * int64_t{s_.Columns};
        if (index < 1 || static_cast<uint64_t>(index) > limit_) return 0;
        double d;
        std::memcpy(&d, base_ + (index - 1) * 8, 8);
        return d;
    }

    const TxyDataStruct& s_;
    const uint8_t* base_;
    uint64_t limit_;
};

// The series through its virtual GetX/GetY.
class VirtualSeries {
public:
    explicit VirtualSeries(const TxyDataStruct& s) : s_(s) {}
    long double x(uint32_t i) const { return s_.GetX(i); }
    long double y(uint32_t i) const { return s_.GetY(i); }

private:
    const TxyDataStruct& s_;
};

} // namespace

// ---------------------------------------------------------------------------
// TFitType

bool TFitType::CopyFit(int direction, TxyDataStruct& other) {
    if (direction == -1) {
        if (other.size() != 0) return false;
        if (!other.MakeXY(Points, 8)) {
            other.Points = 0;
            return false;
        }
        for (uint32_t i = 1; i <= Points; ++i) {
            long double x = GetX(i);
            other.SetX(i, x);
            other.SetY(i, Evaluate(x));
        }
        return true;
    }
    if (direction == 1) {
        const uint32_t n = other.Points;
        if (!MakeXY(n, 8)) return false;
        for (uint32_t i = 1; i <= n; ++i) {
            SetX(i, other.GetX(i));
            SetY(i, other.GetY(i));
        }
        return true;
    }
    return true;
}

// ---------------------------------------------------------------------------
// TCubicSpline

TCubicSpline::TCubicSpline() = default;
TCubicSpline::~TCubicSpline() = default;

void TCubicSpline::Clear() {
    SecondDerivs.reset();
    Scratch.reset();
    TFitType::Clear();
}

bool TCubicSpline::MakeXY(uint32_t n, uint32_t elementSize) {
    SecondDerivs = std::make_unique<TNumberStore>();
    Scratch = std::make_unique<TNumberStore>();
    SecondDerivs->ShowErrors = Scratch->ShowErrors = ShowErrors;
    if (SecondDerivs->Make(n, elementSize) && Scratch->Make(n, elementSize) &&
        TFitType::MakeXY(n, elementSize)) {
        Ready = true;
        return true;
    }
    Ready = false;
    Clear();
    return false;
}

namespace {

// Sizes a companion store for n elements. Companions that were never made (or
// were emptied, losing their element size) get elementSize.
bool sizeCompanion(std::unique_ptr<TNumberStore>& companion, uint32_t n, uint32_t elementSize,
                   bool showErrors) {
    if (!companion) {
        companion = std::make_unique<TNumberStore>();
        companion->ShowErrors = showErrors;
    }
    if (!TNumberStore::ValidElementSize(companion->RecordSize)) return companion->Make(n, elementSize);
    return companion->SetRecordCount(n);
}

} // namespace

bool TCubicSpline::SetPoints(uint32_t n) {
    const uint32_t elementSize = TNumberStore::ValidElementSize(RecordSize) ? RecordSize : 8;
    if (sizeCompanion(SecondDerivs, n, elementSize, ShowErrors) &&
        sizeCompanion(Scratch, n, elementSize, ShowErrors) && TFitType::SetPoints(n)) {
        Ready = true;
        return true;
    }
    Ready = false;
    if (SecondDerivs) SecondDerivs->Clear();
    if (Scratch) Scratch->Clear();
    return false;
}

namespace {

template <typename Series> void computeSpline(const Series& s, uint32_t n, TNumberStore& D, TNumberStore& U) {
    D.SetValueAt(1, 0);
    U.SetValueAt(1, 0);
    for (uint32_t i = 2; i + 1 <= n; ++i) {
        const long double x0 = s.x(i - 1), x1 = s.x(i), x2 = s.x(i + 1);
        const long double y0 = s.y(i - 1), y1 = s.y(i), y2 = s.y(i + 1);
        const double sig = static_cast<double>((x1 - x0) / (x2 - x0));
        const double p = static_cast<double>(sig * D.GetValueAt(i - 1) + 2);
        D.SetValueAt(i, (sig - 1.0L) / p);
        U.SetValueAt(i, (y2 - y1) / (x2 - x1) - (y1 - y0) / (x1 - x0));
        U.SetValueAt(i, (6 * U.GetValueAt(i) / (x2 - x0) - sig * U.GetValueAt(i - 1)) / p);
    }
    D.SetValueAt(n, 0);
    for (uint32_t k = n > 0 ? n - 1 : 0; k >= 1; --k)
        D.SetValueAt(k, D.GetValueAt(k) * D.GetValueAt(k + 1) + U.GetValueAt(k));
}

template <typename Series>
long double evaluateSpline(const Series& s, uint32_t n, const TNumberStore* D, long double x) {
    uint32_t lo = 1, hi = n;
    while (hi - lo > 1) {
        uint32_t k = (hi + lo) / 2;
        if (x >= s.x(k))
            lo = k;
        else
            hi = k;
    }
    const long double xlo = s.x(lo), xhi = s.x(hi);
    const double h = static_cast<double>(xhi - xlo);
    if (h == 0) return 0;
    const long double a = static_cast<double>((xhi - x) / h);
    const long double b = static_cast<double>((x - xlo) / h);
    const long double dlo = D ? D->GetValueAt(lo) : 0;
    const long double dhi = D ? D->GetValueAt(hi) : 0;
    const long double hl = h;
    return a * s.y(lo) + b * s.y(hi) + ((a * a * a - a) * dlo + (b * b * b - b) * dhi) * (hl * hl) / 6;
}

} // namespace

// A spline whose GetX/GetY are the series' own reads its points directly.
void TCubicSpline::Compute() {
    if (!Ready) return;
    // Points can change without SetPoints (a loaded series, a field set by
    // hand): the companions must hold one element per point.
    if (!SecondDerivs || !Scratch || SecondDerivs->RecordCount != Points || Scratch->RecordCount != Points) {
        const uint32_t elementSize = TNumberStore::ValidElementSize(RecordSize) ? RecordSize : 8;
        if (!sizeCompanion(SecondDerivs, Points, elementSize, ShowErrors) ||
            !sizeCompanion(Scratch, Points, elementSize, ShowErrors)) {
            Ready = false;
            return;
        }
    }
    if (typeid(*this) == typeid(TCubicSpline) && DirectSeries::usable(*this))
        computeSpline(DirectSeries(*this), Points, *SecondDerivs, *Scratch);
    else
        computeSpline(VirtualSeries(*this), Points, *SecondDerivs, *Scratch);
}

long double TCubicSpline::Evaluate(long double x) const {
    if (!Ready || Points == 0) return 0;
    if (typeid(*this) == typeid(TCubicSpline) && DirectSeries::usable(*this))
        return evaluateSpline(DirectSeries(*this), Points, SecondDerivs.get(), x);
    return evaluateSpline(VirtualSeries(*this), Points, SecondDerivs.get(), x);
}

// ---------------------------------------------------------------------------
// TMovingAve

long double TMovingAve::GetY(uint32_t i) const {
    const int64_t window = Window == 0 ? 1 : Window;
    int64_t first = int64_t{i} - window / 2;
    int64_t last = first + window - 1;
    if (first < 1) first = 1;
    if (last > int64_t{Points}) last = Points;
    if (last < first) return 0;
    long double sum = 0;
    if (DirectSeries::usable(*this)) {
        // The inherited GetY, read straight from the block.
        DirectSeries s(*this);
        for (int64_t j = first; j <= last; ++j)
            sum += s.y(static_cast<uint32_t>(j));
    } else {
        for (int64_t j = first; j <= last; ++j)
            sum += TxyDataStruct::GetY(static_cast<uint32_t>(j));
    }
    return sum / static_cast<long double>(last - first + 1);
}

} // namespace quillmar
