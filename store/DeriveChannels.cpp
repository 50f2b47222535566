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

#include "store/DeriveChannels.h"

#include "acquisition/Parameters.h"
#include "store/Fits.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>
#include <algorithm>

namespace quillmar {

namespace {

// Marks a spline point as unusable (left out of the fit).
constexpr long double Unusable = -2;

} // namespace

const VehicleConstants& DefaultVehicleConstants() {
    static const VehicleConstants constants;
    return constants;
}

DeriveColumns FindDeriveColumns(const TParameterArray& parameters) {
    const std::vector<std::string> names = MakeParameterNames(parameters);
    DeriveColumns c;
    c.Speed = IndexOfName(names, "Speed");
    c.EngineSpeed = IndexOfName(names, "Engine speed");
    c.Injector = IndexOfName(names, "Injector pulse width");
    c.Map = IndexOfName(names, "Manifold press (abs).");
    c.Barometer = IndexOfName(names, "Barometer");
    return c;
}

std::vector<std::string> MissingParameterWarnings(const DeriveColumns& c) {
    std::vector<std::string> w;
    auto missing = [&](int column, const char* name, const char* channels) {
        if (column < 0)
            w.push_back(std::string("The parameter table has no \"") + name + "\": " + channels +
                        " cannot be derived and are 0.");
    };
    missing(c.Speed, "Speed", "Distance, Acceleration, Power, Gear, Calc. speed and Smoothed speed");
    missing(c.EngineSpeed, "Engine speed", "Gear, Calc. speed and Injector duty");
    missing(c.Injector, "Injector pulse width", "Injector duty");
    missing(c.Map, "Manifold press (abs).", "Boost");
    missing(c.Barometer, "Barometer", "Boost");
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
        const long double d = std::fabs(
            speed - static_cast<long double>(vehicle.SpeedPerEngineSpeed(g)) * vehicle.SpeedFactor * engineSpeed);
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
        for (uint32_t i = 1; i <= rows; ++i) derived[size_t(slot)][i] = 0;
    };
    if (c.Speed < 0) {
        for (int slot : {DistanceSlot, AccelerationSlot, PowerSlot, GearSlot, CalcSpeedSlot, SmoothedSpeedSlot})
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

double ReadTimeStamp(const uint8_t* p) {
    uint64_t bits = 0;
    for (int k = 7; k >= 0; --k) bits = (bits << 8) | p[k];
    return std::bit_cast<double>(bits);
}

void TALDLLog::DeriveChannels(const VehicleConstants& vehicle) {
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

    // Speed (MS) and engine speed (MR) against time.
    TMovingAve MS, MR;
    MS.ShowErrors = MR.ShowErrors = false;
    MS.MakeXY(R, 8);
    MR.MakeXY(R, 8);
    std::vector<long double> speedRaw(size_t(R) + 1);
    for (uint32_t i = 1; i <= R; ++i) {
        const uint8_t* row = RowData(i);
        T[i] = ReadTimeStamp(row + ReplyLength);
        const long double s = value(speedEntry, row);
        const long double n = value(engineEntry, row);
        speedRaw[i] = s;
        MS.SetX(i, T[i]);
        MS.SetY(i, s);
        MR.SetX(i, T[i]);
        MR.SetY(i, n);
        DUTY[i] = InjectorDuty(n, value(injectorEntry, row));
    }

    MS.SortByX();
    MR.SortByX();
    const WindowChoice choice = ChooseWindow(MS.GetX(1), MS.GetX(MS.Points), MS.Points);
    MS.Window = MR.Window = uint8_t(choice.Window);
    info_.K = choice.K;
    info_.StartWindow = info_.SteadyWindow = choice.Window;

    TCubicSpline CS;
    CS.ShowErrors = false;
    CS.MakeXY(0, 8);
    CS.SetPoints(R);

    // Gears and spline points.
    bool shrunk = false;
    int pg = 0;
    for (uint32_t i = 1; i <= R; ++i) {
        const long double v = MS.GetY(i);
        const long double n = MR.GetY(i);
        int gear = DetectGear(v, n, vehicle);
        CS.SetX(i, T[i]);
        if (i > 1 && gear != pg) {
            const uint32_t h = MS.Window / 2;
            const uint32_t from = i > h ? i - h : 1;
            const uint32_t to = std::min<uint64_t>(uint64_t(i) + h - 1, CS.Points);
            for (uint32_t j = from; j <= to; ++j) CS.SetY(j, Unusable);
        } else if (gear != -2) {
            CS.SetY(i, static_cast<long double>(vehicle.SpeedPerEngineSpeed(gear)) * vehicle.SpeedFactor * n);
            if (!shrunk) {
                shrunk = true;
                MS.Window = MR.Window = uint8_t(SteadyWindow(MS.Window));
                info_.SteadyWindow = MS.Window;
            }
        } else {
            CS.SetY(1, Unusable);
        }
        if (gear == -2) gear = 0;
        GEAR[i] = gear;
        pg = gear;
    }

    // Drop the unusable points and repeated time stamps; the first and the
    // last point stay, at the smoothed speed.
    if (choice.Distinct) {
        std::vector<uint32_t> drop;
        long double previousX = 0;
        for (uint32_t j = 1; j <= R; ++j) {
            const long double x = CS.GetX(j);
            const bool candidate = CS.GetY(j) == Unusable || (j > 1 && x == previousX);
            if (candidate && (j == 1 || j == R)) {
                CS.SetY(j, MS.GetY(j));
            } else if (candidate) {
                drop.push_back(j);
                continue;
            }
            previousX = x;
        }
        CS.DeleteRows(drop);
        CS.Compute();
        info_.SplineUsed = true;
        info_.SplinePoints = CS.Points;
    }

    MS.Window = MR.Window = uint8_t(HalfWindow(MS.Window));
    info_.SmoothWindow = MS.Window;
    MS.XYScaling.YScale = MS.XYScaling.YScale * 0.447L; // mph to m/s

    // Smoothed speed, calculated speed, distance, acceleration, power, boost.
    long double t0 = 0, u0 = 0;
    for (uint32_t i = 1; i <= R; ++i) {
        SMOOTH[i] = static_cast<double>(MS.GetY(i) / 0.447L);
        if (choice.Distinct) {
            const double calc = static_cast<double>(CS.Evaluate(T[i]));
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
            DIST[i] = static_cast<double>(DIST[i - 1] + speedRaw[i] * dt / 3600.0L);
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
