// The derived channels computed literally step by step: every spline point
// left out is deleted on its own (moving all later points), the series are
// sorted one exchange of neighbours at a time, and every value goes through
// the store and fit classes. Quadratic in the worst case; it is the
// reference that TALDLLog::DeriveChannels must match bit for bit.

#include "tests/dataset/DeriveChannelsStepByStep.h"

#include "acquisition/params/Parameters.h"
#include "store/Fits.h"
#include "store/dataset/DeriveChannels.h"

#include <algorithm>
#include <cmath>

namespace quillmar {

void DeriveChannelsStepByStep(TALDLLog& log, const VehicleConstants& vehicle) {
    const std::vector<std::string> names = MakeParameterNames(*log.Parameters);
    const int S = IndexOfName(names, "Speed");
    const int E = IndexOfName(names, "Engine speed");
    const int J = IndexOfName(names, "Injector pulse width");
    const int M = IndexOfName(names, "Manifold press (abs).");
    const int B = IndexOfName(names, "Barometer");
    auto V = [&](int c, uint32_t r) -> long double { return c < 0 ? 0 : log.ParameterValue(c, r); };
    const uint32_t R = log.Rows;
    for (TDoubleArray& d : log.Derived)
        d.assign(size_t(R) + 1, 0.0);
    if (R == 0) return;
    auto& T = log.Derived[TimeSlot];
    auto& DIST = log.Derived[DistanceSlot];
    auto& ACC = log.Derived[AccelerationSlot];
    auto& PWR = log.Derived[PowerSlot];
    auto& GEAR = log.Derived[GearSlot];
    auto& CALC = log.Derived[CalcSpeedSlot];
    auto& SMOOTH = log.Derived[SmoothedSpeedSlot];
    auto& BOOST = log.Derived[BoostSlot];
    auto& DUTY = log.Derived[InjectorDutySlot];
    auto spe = [&](int g) { return static_cast<long double>(vehicle.SpeedPerEngineSpeed(g)); };

    TCubicSpline CS;
    CS.MakeXY(0, 8);
    TMovingAve MS, MR;
    CS.ShowErrors = MS.ShowErrors = MR.ShowErrors = false;
    MS.MakeXY(R, 8);
    MR.MakeXY(R, 8);
    for (uint32_t i = 1; i <= R; ++i) {
        T[i] = log.TimeStamp(i);
        MS.SetX(i, T[i]);
        MS.SetY(i, V(S, i));
        MR.SetX(i, T[i]);
        MR.SetY(i, V(E, i));
        const long double n = V(E, i);
        if (n > 0) {
            const long double P = 2 / (n / 60) * 1000;
            DUTY[i] = static_cast<double>(V(J, i) / P * 100);
        } else {
            DUTY[i] = 0;
        }
        if (DUTY[i] > 100) DUTY[i] = 101;
    }
    // The insertion sort, one exchange of neighbours at a time.
    for (TMovingAve* m : {&MS, &MR}) {
        for (uint32_t r = 2; r <= m->Points; ++r)
            for (uint32_t j = r; j > 1 && m->GetX(j) < m->GetX(j - 1); --j) {
                const long double x = m->GetX(j), y = m->TxyDataStruct::GetY(j);
                m->SetX(j, m->GetX(j - 1));
                m->SetY(j, m->TxyDataStruct::GetY(j - 1));
                m->SetX(j - 1, x);
                m->SetY(j - 1, y);
            }
    }
    const WindowChoice w = ChooseWindow(MS.GetX(1), MS.GetX(MS.Points), MS.Points);
    MS.Window = MR.Window = uint8_t(w.Window);
    CS.SetPoints(R);
    int pg = 0;
    for (uint32_t i = 1; i <= R; ++i) {
        const long double v = MS.GetY(i), n = MR.GetY(i);
        GEAR[i] = -2;
        long double best = 200;
        for (int g = 1; g <= 5; ++g) {
            const long double d = std::fabs(v - spe(g) * vehicle.SpeedFactor * n);
            if (d < best && d < 3) {
                best = d;
                GEAR[i] = g;
            }
        }
        if (v < 2.5L) GEAR[i] = 0;
        CS.SetX(i, T[i]);
        if (i > 1 && GEAR[i] != pg) {
            const int64_t h = MS.Window / 2;
            for (int64_t j = std::max<int64_t>(1, i - h); j <= std::min<int64_t>(i + h - 1, CS.Points); ++j)
                CS.SetY(uint32_t(j), -2);
        } else if (GEAR[i] != -2) {
            CS.SetY(i, spe(int(std::lround(GEAR[i]))) * vehicle.SpeedFactor * n);
            MS.Window = MR.Window = uint8_t(SteadyWindow(MS.Window));
        } else {
            CS.SetY(1, -2);
        }
        if (GEAR[i] == -2) GEAR[i] = 0;
        pg = int(std::lround(GEAR[i]));
    }
    if (w.Distinct) {
        uint32_t d = 0;
        for (uint32_t j = 1; j <= R; ++j) {
            const uint32_t p = j - d;
            const bool candidate = CS.GetY(p) == -2 || (j > 1 && CS.GetX(p) == CS.GetX(p - 1));
            if (!candidate) continue;
            if (j == 1 || j == R) {
                // The last point replaces an earlier point at the same time.
                if (j > 1 && CS.GetX(p) == CS.GetX(p - 1)) {
                    CS.DeleteRow(p - 1);
                    ++d;
                }
                CS.SetY(j - d, MS.GetY(j));
            } else {
                CS.DeleteRow(p);
                ++d;
            }
        }
        CS.Compute();
    }
    MS.Window = MR.Window = uint8_t(HalfWindow(MS.Window));
    MS.XYScaling.YScale = MS.XYScaling.YScale * 0.447L;
    long double t0 = 0, u0 = 0;
    for (uint32_t i = 1; i <= R; ++i) {
        SMOOTH[i] = static_cast<double>(MS.GetY(i) / 0.447L);
        if (w.Distinct) {
            CALC[i] = static_cast<double>(CS.Evaluate(T[i]));
            if (CALC[i] < 0) CALC[i] = 0;
        }
        const long double u = 0.447L * SMOOTH[i];
        if (i == 1) {
            t0 = T[1];
            u0 = u;
        }
        const long double dt = T[i] - t0, dv = u - u0;
        const long double dE = (u * u - u0 * u0) * (0.5L * vehicle.VehicleMass) / 1000;
        t0 = T[i];
        u0 = u;
        BOOST[i] = static_cast<double>(V(M, i) - V(B, i));
        if (BOOST[i] < 0) BOOST[i] = 0;
        if (dt != 0) {
            DIST[i] = static_cast<double>(DIST[i - 1] + V(S, i) * dt / 3600);
            ACC[i] = static_cast<double>(dv / dt / 9.81L);
            PWR[i] = static_cast<double>(dE / dt * 1.341L);
        } else {
            ACC[i] = 0;
            PWR[i] = 0;
            DIST[i] = i == 1 ? 0 : DIST[i - 1];
        }
    }
    DeriveColumns c;
    c.Speed = S, c.EngineSpeed = E, c.Injector = J, c.Map = M, c.Barometer = B;
    ZeroMissingChannels(log.Derived, c, R);
}

} // namespace quillmar
