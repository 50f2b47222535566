#pragma once
// The car the derived channels assume: its mass and the road speed each gear
// gives per engine speed. The simulated engine computer drives the same car.

#include <array>
#include <cstddef>

namespace quillmar {

// Road speed in mph per engine rpm for gears -1..5 (index gear + 1).
inline constexpr std::array<double, 7> DefaultSpeedPerEngineSpeed{0.002,   0,       0.0052, 0.00904,
                                                                  0.01299, 0.01686, 0.02089};

// The vehicle model the derived channels use. Fixed values, held by the
// application and handed to the derivation.
struct VehicleConstants {
    double VehicleMass = 1150.0; // kg
    // Road speed in mph per engine rpm for gears -1..5 (index gear + 1).
    std::array<double, 7> SpeedPerEngineSpeedTable = DefaultSpeedPerEngineSpeed;
    double SpeedFactor = 1.0; // multiplies every gear ratio

    double SpeedPerEngineSpeed(int gear) const { return SpeedPerEngineSpeedTable[size_t(gear + 1)]; }
};

// The constants the application starts with.
const VehicleConstants& DefaultVehicleConstants();

} // namespace quillmar
