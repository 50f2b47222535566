// The derived channels of a logged dataset: time, distance, acceleration,
// power, gear, speed calculated from engine speed and gear, smoothed speed,
// boost and injector duty.
//
// Speed and engine speed are smoothed with a moving average about 3 s wide.
// Each row's gear is the ratio that best explains the smoothed speed at the
// smoothed engine speed; rows in a steady gear give spline points (road speed
// from engine speed and gear), points around gear changes are dropped so the
// spline bridges them, and "Calc. speed" is the spline sampled at every row.
//
// The work stays linear in the row count: the spline points to drop are
// removed in one pass and the moving averages are sorted with the store's
// row sort, which is linear on rows already in time order.

#include "store/dataset/DeriveChannels.h"

#include "acquisition/params/Parameters.h"
#include "store/Fits.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace quillmar {

namespace {

// Marks a spline point as unusable (left out of the fit).
constexpr double Unusable = -2;

// One point of an x/y series of doubles, written into its row.
void writePoint(uint8_t* row, double x, double y) {
    uint64_t bits[2] = {std::bit_cast<uint64_t>(x), std::bit_cast<uint64_t>(y)};
    for (int v = 0; v < 2; ++v)
        for (int k = 0; k < 8; ++k, bits[v] >>= 8)
            row[8 * v + k] = uint8_t(bits[v] & 0xFF);
}

// The y values of a sorted moving-average series, read once, averaged the
// way TMovingAve::GetY does: the points of the window clipped to the series,
// each scaled, summed in extended precision and divided by their count.
class MeanSeries {
public:
    explicit MeanSeries(const TMovingAve& series)
        : offset_(series.XYScaling.YOffset), points_(series.Points), y_(size_t(series.Points) + 1) {
        for (uint32_t j = 1; j <= points_; ++j)
            y_[j] = static_cast<double>(series.GetElement(uint32_t(series.YColumn), j));
    }

    long double mean(uint32_t i, int window, long double scale = 1) const {
        const int64_t w = window < 1 ? 1 : window;
        int64_t first = int64_t(i) - w / 2;
        int64_t last = first + w - 1;
        if (first < 1) first = 1;
        if (last > int64_t(points_)) last = points_;
        if (last < first) return 0;
        long double sum = 0;
        for (int64_t j = first; j <= last; ++j)
            sum += y_[size_t(j)] * scale + offset_;
        return sum / static_cast<long double>(last - first + 1);
    }

private:
    long double offset_;
    uint32_t points_;
    std::vector<double> y_;
};

// TCubicSpline::Evaluate for ascending x values asked in ascending order:
// the segment is found by walking on from the previous one. For points in
// ascending x the bisection of Evaluate ends on the same segment: the last
// point at or below x, kept within 1..Points - 1.
class SplineWalk {
public:
    SplineWalk() = default;
    explicit SplineWalk(const TCubicSpline& spline) : n_(spline.Points) {
        x_.resize(size_t(n_) + 1);
        y_.resize(size_t(n_) + 1);
        d_.resize(size_t(n_) + 1);
        for (uint32_t j = 1; j <= n_; ++j) {
            x_[j] = spline.GetX(j);
            y_[j] = spline.GetY(j);
            d_[j] = spline.SecondDerivs ? spline.SecondDerivs->GetValueAt(j) : 0;
        }
    }

    long double next(long double x) const {
        if (n_ == 0) return 0;
        while (lo_ + 1 < n_ && x_[lo_ + 1] <= x)
            ++lo_;
        const uint32_t lo = lo_, hi = n_ == 1 ? 1 : lo_ + 1;
        const long double xlo = x_[lo], xhi = x_[hi];
        const double h = static_cast<double>(xhi - xlo);
        if (h == 0) return 0;
        const long double a = static_cast<double>((xhi - x) / h);
        const long double b = static_cast<double>((x - xlo) / h);
        const long double hl = h;
        return a * y_[lo] + b * y_[hi] +
               ((a * a * a - a) * d_[lo] + (b * b * b - b) * d_[hi]) * (hl * hl) / 6;
    }

private:
    uint32_t n_ = 0;
    mutable uint32_t lo_ = 1;
    std::vector<long double> x_, y_, d_;
};

} // namespace

DeriveColumns FindDeriveColumns(const TParameterArray& parameters) {
    const ParameterIndices ix = FindParameterIndices(MakeParameterNames(parameters));
    DeriveColumns c;
    c.Speed = ix.SpeedIndex;
    c.EngineSpeed = ix.EngineSpeedIndex;
    c.Injector = ix.InjectorIndex;
    c.Map = ix.MapIndex;
    c.Barometer = ix.BarometerIndex;
    return c;
}

std::vector<std::string> MissingParameterWarnings(const DeriveColumns& c) {
    std::vector<std::string> w;
    auto missing = [&](int column, const char* name, const char* channels) {
        if (column < 0)
            w.push_back(std::string("The parameter table has no \"") + name + "\": " + channels +
                        " cannot be derived and are 0.");
    };
    missing(c.Speed, KnownName::Speed, "Distance, Acceleration, Power, Gear, Calc. speed and Smoothed speed");
    missing(c.EngineSpeed, KnownName::EngineSpeed, "Gear, Calc. speed and Injector duty");
    missing(c.Injector, KnownName::InjectorPulseWidth, "Injector duty");
    missing(c.Map, KnownName::ManifoldPressure, "Boost");
    missing(c.Barometer, KnownName::Barometer, "Boost");
    return w;
}

WindowChoice ChooseWindow(long double first, long double last, uint32_t points) {
    WindowChoice choice;
    // Also false for time stamps that are not numbers.
    if (points < 2 || !(last > first)) return choice;
    choice.Distinct = true;
    const long double step = (last - first) / static_cast<long double>(points - 1);
    const long double k = std::trunc(1.5L / step);
    if (!(k >= 1)) return choice; // sparse logging: k = 0
    if (k >= 127) {
        choice.K = k >= 1e18L ? int64_t(1e18) : static_cast<int64_t>(k);
        choice.Window = 255;
        return choice;
    }
    choice.K = static_cast<int64_t>(k);
    choice.Window = int(2 * choice.K + 1);
    return choice;
}

double InjectorDuty(long double engineSpeed, long double pulseWidth) {
    if (!(engineSpeed > 0)) return 0;
    const long double period = 2.0L / (engineSpeed / 60.0L) * 1000.0L; // ms for two revolutions
    double duty = static_cast<double>(pulseWidth / period * 100.0L);
    if (duty > 100) duty = 101;
    return duty;
}

int DetectGear(long double speed, long double engineSpeed, const VehicleConstants& vehicle) {
    int gear = -2;
    long double best = 200;
    for (int g = 1; g <= 5; ++g) {
        const long double d = std::fabs(speed - static_cast<long double>(vehicle.SpeedPerEngineSpeed(g)) *
                                                    vehicle.SpeedFactor * engineSpeed);
        if (d < best && d < 3) {
            best = d;
            gear = g;
        }
    }
    if (speed < 2.5L) gear = 0;
    return gear;
}

void ZeroMissingChannels(std::array<TDoubleArray, DerivedChannelCount>& derived, const DeriveColumns& c,
                         uint32_t rows) {
    auto zero = [&](int slot) {
        for (uint32_t i = 1; i <= rows; ++i)
            derived[size_t(slot)][i] = 0;
    };
    if (c.Speed < 0) {
        for (int slot :
             {DistanceSlot, AccelerationSlot, PowerSlot, GearSlot, CalcSpeedSlot, SmoothedSpeedSlot})
            zero(slot);
    }
    if (c.EngineSpeed < 0) {
        zero(GearSlot);
        zero(CalcSpeedSlot);
        zero(InjectorDutySlot);
    }
    if (c.Injector < 0) zero(InjectorDutySlot);
    if (c.Map < 0 || c.Barometer < 0) zero(BoostSlot);
}

double AddDistance(double distance, long double speed, long double dt) {
    return static_cast<double>(distance + speed * dt / 3600.0L);
}

double ReadTimeStamp(const uint8_t* p) {
    uint64_t bits = 0;
    for (int k = 7; k >= 0; --k)
        bits = (bits << 8) | p[k];
    return std::bit_cast<double>(bits);
}

void TALDLLog::DeriveChannels(const VehicleConstants& vehicle, const DeriveOptions& options) {
    info_ = DeriveInfo{};
    const DeriveColumns columns = FindDeriveColumns(*Parameters);
    deriveWarnings_ = MissingParameterWarnings(columns);
    sizeDerived();
    if (Columns != LogColumns || RecordSize != 1) {
        deriveWarnings_.push_back("Not a logged dataset: rows of " + std::to_string(Columns) +
                                  " columns cannot be derived.");
        return;
    }
    // Rows whose bytes are all present.
    const uint32_t R = std::min<uint32_t>(Rows, RecordCount / LogColumns);
    if (R == 0) return;

    TDoubleArray& T = Derived[TimeSlot];
    TDoubleArray& DIST = Derived[DistanceSlot];
    TDoubleArray& ACC = Derived[AccelerationSlot];
    TDoubleArray& PWR = Derived[PowerSlot];
    TDoubleArray& GEAR = Derived[GearSlot];
    TDoubleArray& CALC = Derived[CalcSpeedSlot];
    TDoubleArray& SMOOTH = Derived[SmoothedSpeedSlot];
    TDoubleArray& BOOST = Derived[BoostSlot];
    TDoubleArray& DUTY = Derived[InjectorDutySlot];

    const TParameterArray& table = *Parameters;
    auto entry = [&](int column) -> const TParameter* {
        return column >= 1 && size_t(column) <= table.size() ? &table[size_t(column - 1)] : nullptr;
    };
    const TParameter* speedEntry = entry(columns.Speed);
    const TParameter* engineEntry = entry(columns.EngineSpeed);
    const TParameter* injectorEntry = entry(columns.Injector);
    const TParameter* mapEntry = entry(columns.Map);
    const TParameter* baroEntry = entry(columns.Barometer);
    // A value of row data; none of the five names is a derived channel, so an
    // entry of size 0 (or a missing one) reads 0.
    auto value = [](const TParameter* p, const uint8_t* row) -> long double {
        if (!p || p->Size == 0) return 0;
        return DecodeValue(*p, row, size_t(ReplyLength));
    };

    // Speed (MS) and engine speed (MR) against time, written straight into
    // the series' rows (x, then y, as doubles).
    TMovingAve MS, MR;
    MS.ShowErrors = MR.ShowErrors = false;
    if (!MS.MakeXY(R, 8) || !MR.MakeXY(R, 8)) {
        deriveWarnings_.push_back("Not enough memory to derive the channels of " + std::to_string(R) +
                                  " rows.");
        return;
    }
    std::vector<long double> speedRaw(size_t(R) + 1);
    for (uint32_t i = 1; i <= R; ++i) {
        const uint8_t* row = RowData(i);
        T[i] = ReadTimeStamp(row + ReplyLength);
        const long double s = value(speedEntry, row);
        const long double n = value(engineEntry, row);
        speedRaw[i] = s;
        writePoint(MS.RowData(i), T[i], static_cast<double>(s));
        writePoint(MR.RowData(i), T[i], static_cast<double>(n));
        DUTY[i] = InjectorDuty(n, value(injectorEntry, row));
    }

    MS.SortByX();
    MR.SortByX();
    WindowChoice choice = ChooseWindow(MS.GetX(1), MS.GetX(MS.Points), MS.Points);
    if (options.Window > 0) choice.Window = options.Window;
    info_.K = choice.K;
    info_.StartWindow = info_.SteadyWindow = choice.Window;
    const MeanSeries ms(MS), mr(MR);
    int window = choice.Window;
    bool shrunk = false;
    if (options.SteadyFromStart) {
        shrunk = true;
        window = SteadyWindow(window);
        info_.SteadyWindow = window;
    }

    // Gears and spline points; the spline's points are kept here until the
    // unusable ones are dropped.
    std::vector<double> csX(T.begin(), T.end()), csY(size_t(R) + 1, 0.0);
    int pg = 0;
    for (uint32_t i = 1; i <= R; ++i) {
        const long double v = ms.mean(i, window);
        const long double n = mr.mean(i, window);
        int gear = DetectGear(v, n, vehicle);
        if (i > 1 && gear != pg) {
            const uint32_t h = uint32_t(window) / 2;
            const uint32_t from = i > h ? i - h : 1;
            const uint32_t to = uint32_t(std::min<uint64_t>(uint64_t(i) + h - 1, R));
            for (uint32_t j = from; j <= to; ++j)
                csY[j] = Unusable;
        } else if (gear != -2) {
            csY[i] = static_cast<double>(static_cast<long double>(vehicle.SpeedPerEngineSpeed(gear)) *
                                         vehicle.SpeedFactor * n);
            if (info_.FirstSteadyRow == 0) info_.FirstSteadyRow = i;
            if (!shrunk) {
                shrunk = true;
                window = SteadyWindow(window);
                info_.SteadyWindow = window;
            }
        } else {
            csY[1] = Unusable;
        }
        if (gear == -2) gear = 0;
        GEAR[i] = gear;
        pg = gear;
    }

    // Drop the unusable points and repeated time stamps in one pass; the
    // first and the last point stay, at the smoothed speed.
    TCubicSpline CS;
    CS.ShowErrors = false;
    if (choice.Distinct) {
        uint32_t kept = 0;
        for (uint32_t j = 1; j <= R; ++j) {
            const bool candidate = csY[j] == Unusable || (j > 1 && csX[j] == csX[kept]);
            if (candidate) {
                if (j != 1 && j != R) continue;
                csY[j] = static_cast<double>(ms.mean(j, window));
                // A last point at the time of the point before it would give
                // the spline a step of zero width, and every value would be
                // lost to the division: it takes that point's place instead.
                if (kept > 0 && csX[j] == csX[kept]) --kept;
            }
            ++kept;
            csX[kept] = csX[j];
            csY[kept] = csY[j];
        }
        if (CS.MakeXY(kept, 8)) {
            for (uint32_t j = 1; j <= kept; ++j)
                writePoint(CS.RowData(j), csX[j], csY[j]);
            CS.Compute();
            info_.SplineUsed = true;
            info_.SplinePoints = CS.Points;
        }
    }

    window = HalfWindow(window);
    info_.SmoothWindow = window;
    const long double toMetres = MS.XYScaling.YScale * 0.447L; // mph to m/s

    // With time stamps in order, the spline is sampled walking along its
    // points instead of searching for each row's segment.
    bool inOrder = info_.SplineUsed;
    for (uint32_t i = 2; inOrder && i <= R; ++i)
        inOrder = T[i] >= T[i - 1];
    const SplineWalk walk = inOrder ? SplineWalk(CS) : SplineWalk();

    // Smoothed speed, calculated speed, distance, acceleration, power, boost.
    long double t0 = 0, u0 = 0;
    for (uint32_t i = 1; i <= R; ++i) {
        SMOOTH[i] = static_cast<double>(ms.mean(i, window, toMetres) / 0.447L);
        if (info_.SplineUsed) {
            const double calc = static_cast<double>(inOrder ? walk.next(T[i]) : CS.Evaluate(T[i]));
            CALC[i] = calc < 0 ? 0 : calc;
        } else {
            CALC[i] = 0;
        }
        const long double u = 0.447L * SMOOTH[i];
        if (i == 1) {
            t0 = T[1];
            u0 = u;
        }
        const long double dt = T[i] - t0;
        const long double dv = u - u0;
        const long double dE = (u * u - u0 * u0) * (0.5L * vehicle.VehicleMass) / 1000.0L; // kJ
        t0 = T[i];
        u0 = u;
        const uint8_t* row = RowData(i);
        const double boost = static_cast<double>(value(mapEntry, row) - value(baroEntry, row));
        BOOST[i] = boost < 0 ? 0 : boost;
        if (dt != 0) {
            DIST[i] = AddDistance(DIST[i - 1], speedRaw[i], dt);
            ACC[i] = static_cast<double>(dv / dt / 9.81L);
            PWR[i] = static_cast<double>(dE / dt * 1.341L);
        } else {
            ACC[i] = 0;
            PWR[i] = 0;
            DIST[i] = i == 1 ? 0 : DIST[i - 1];
        }
    }
    ZeroMissingChannels(Derived, columns, R);
}

} // namespace quillmar
