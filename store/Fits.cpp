#include "store/Fits.h"

namespace quillmar {

// ---------------------------------------------------------------------------
// TFitType

bool TFitType::CopyFit(int direction, TxyDataStruct& other) {
    if (direction == -1) {
        if (other.size() != 0)
            return false;
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
        if (!MakeXY(n, 8))
            return false;
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

bool TCubicSpline::SetPoints(uint32_t n) {
    // Companions that were never made take this series' element size.
    const uint32_t elementSize = TNumberStore::ValidElementSize(RecordSize) ? RecordSize : 8;
    auto resize = [&](std::unique_ptr<TNumberStore>& companion) {
        if (!companion) {
            companion = std::make_unique<TNumberStore>();
            companion->ShowErrors = ShowErrors;
            return companion->Make(n, elementSize);
        }
        return companion->SetRecordCount(n);
    };
    if (resize(SecondDerivs) && resize(Scratch) && TFitType::SetPoints(n)) {
        Ready = true;
        return true;
    }
    Ready = false;
    SecondDerivs->Clear();
    Scratch->Clear();
    return false;
}

void TCubicSpline::Compute() {
    if (!Ready || !SecondDerivs || !Scratch)
        return;
    TNumberStore& D = *SecondDerivs;
    TNumberStore& U = *Scratch;
    const uint32_t n = Points;
    D.SetValueAt(1, 0);
    U.SetValueAt(1, 0);
    for (uint32_t i = 2; i + 1 <= n; ++i) {
        const long double x0 = GetX(i - 1), x1 = GetX(i), x2 = GetX(i + 1);
        const long double y0 = GetY(i - 1), y1 = GetY(i), y2 = GetY(i + 1);
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

long double TCubicSpline::Evaluate(long double x) const {
    if (!Ready || Points == 0)
        return 0;
    uint32_t lo = 1, hi = Points;
    while (hi - lo > 1) {
        uint32_t k = (hi + lo) / 2;
        if (x >= GetX(k))
            lo = k;
        else
            hi = k;
    }
    const long double xlo = GetX(lo), xhi = GetX(hi);
    const double h = static_cast<double>(xhi - xlo);
    if (h == 0)
        return 0;
    const long double a = static_cast<double>((xhi - x) / h);
    const long double b = static_cast<double>((x - xlo) / h);
    const long double dlo = SecondDerivs ? SecondDerivs->GetValueAt(lo) : 0;
    const long double dhi = SecondDerivs ? SecondDerivs->GetValueAt(hi) : 0;
    const long double hl = h;
    return a * GetY(lo) + b * GetY(hi) + ((a * a * a - a) * dlo + (b * b * b - b) * dhi) * (hl * hl) / 6;
}

// ---------------------------------------------------------------------------
// TMovingAve

long double TMovingAve::GetY(uint32_t i) const {
    const int64_t window = Window == 0 ? 1 : Window;
    int64_t first = int64_t{i} - window / 2;
    int64_t last = first + window - 1;
    if (first < 1)
        first = 1;
    if (last > int64_t{Points})
        last = Points;
    if (last < first)
        return 0;
    long double sum = 0;
    for (int64_t j = first; j <= last; ++j)
        sum += TxyDataStruct::GetY(static_cast<uint32_t>(j));
    return sum / static_cast<long double>(last - first + 1);
}

} // namespace quillmar
