#pragma once
// A car driving a repeating cycle for the simulated engine computer: idle
// while warming up, pull away through gears 1 to 5, cruise, brake, stop,
// idle, and again. Deterministic for a given seed and sequence of steps.

#include "store/dataset/VehicleConstants.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace quillmar {

class VehicleModel {
public:
    enum class Phase { Idle, PullAway, Cruise, Braking, Stopped };

    // Road speed per engine speed in gears 1 to 5, mph per rpm: the car the
    // derived channels assume.
    static constexpr std::array<double, 5> SpeedPerEngineSpeed{
        DefaultSpeedPerEngineSpeed[2], DefaultSpeedPerEngineSpeed[3], DefaultSpeedPerEngineSpeed[4],
        DefaultSpeedPerEngineSpeed[5], DefaultSpeedPerEngineSpeed[6]};

    explicit VehicleModel(uint32_t seed = 1);

    // Moves the model on by this many seconds.
    void Advance(double seconds);

    // The engine computer's values by parameter display name.
    std::map<std::string, double> Values() const;

    double Time() const { return time_; }
    Phase CurrentPhase() const { return phase_; }
    int Gear() const { return gear_; } // 0 = neutral
    double Speed() const { return speed_; }
    double EngineSpeed() const { return rpm_; }
    double Throttle() const { return throttle_; }
    double Coolant() const { return coolant_; }

private:
    void step(double dt);
    double noise(); // -1 .. 1
    bool fuelCut() const;

    uint64_t rng_;
    double time_ = 0;
    Phase phase_ = Phase::Idle;
    double phaseTime_ = 0;
    int gear_ = 0;
    double speed_ = 0; // mph
    double rpm_ = 900;
    double throttle_ = 0; // percent
    double coolant_ = 18; // deg C
    double airTemp_ = 20;
    double knockRetard_ = 0;
    unsigned knockCount_ = 0;
    double o2Phase_ = 0;
    double jitter_ = 0;
    uint32_t faults_ = 0;
    int cycle_ = 0;
    uint32_t cycleFault_ = 0; // the code this cycle shows while cruising, or 0
};

} // namespace quillmar
