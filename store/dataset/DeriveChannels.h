#pragma once
// Pieces of the derived-channel computation that any implementation of it
// shares: which columns feed it, the smoothing window chosen from the time
// steps, and what a missing parameter zeroes.

#include "acquisition/params/ParameterTypes.h"
#include "store/dataset/ALDLLog.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quillmar {

// ParameterNames positions of the five values the derivation reads; -1 when
// the table has no entry of that name.
struct DeriveColumns {
    int Speed = -1;       // KnownName::Speed
    int EngineSpeed = -1; // KnownName::EngineSpeed
    int Injector = -1;    // KnownName::InjectorPulseWidth
    int Map = -1;         // KnownName::ManifoldPressure
    int Barometer = -1;   // KnownName::Barometer
};

DeriveColumns FindDeriveColumns(const TParameterArray& parameters);

// One warning per missing name, saying which channels are 0 for it.
std::vector<std::string> MissingParameterWarnings(const DeriveColumns& columns);

// The window of the moving averages from the sorted time stamps first..last
// over points points: k = trunc(1.5 / mean step) in extended precision,
// window 2k + 1 capped at 255. With fewer than two distinct time stamps
// (or time stamps that are not numbers) Distinct is false and the window 1;
// a k of 0 also gives 1.
struct WindowChoice {
    int64_t K = 0;
    int Window = 1;
    bool Distinct = false;
};
WindowChoice ChooseWindow(long double first, long double last, uint32_t points);

// A window after the first steady-gear row: 2 * (window div 2), at least 1.
inline int SteadyWindow(int window) {
    return 2 * (window / 2) > 0 ? 2 * (window / 2) : 1;
}
// Half a window, at least 1 (the window of "Smoothed speed").
inline int HalfWindow(int window) {
    return window / 2 > 0 ? window / 2 : 1;
}

// Injector duty in percent from engine speed (rpm) and pulse width (ms):
// pulse width over the time of two revolutions; 0 without engine speed;
// above 100 becomes 101.
double InjectorDuty(long double engineSpeed, long double pulseWidth);

// The gear whose ratio best explains speed (mph) at engine speed (rpm):
// 1..5 within 3 mph (ties keep the lower gear), -2 when none is that close,
// 0 below 2.5 mph.
int DetectGear(long double speed, long double engineSpeed, const VehicleConstants& vehicle);

// Sets to 0 the channels that depend on a missing parameter.
void ZeroMissingChannels(std::array<TDoubleArray, DerivedChannelCount>& derived, const DeriveColumns& columns,
                         uint32_t rows);

// Distance (miles) after dt seconds at speed (mph), from distance.
double AddDistance(double distance, long double speed, long double dt);

// The 8-byte little-endian double at p.
double ReadTimeStamp(const uint8_t* p);

} // namespace quillmar
