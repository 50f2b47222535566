#include "acquisition/demo/VehicleModel.h"

#include "acquisition/params/Parameters.h"

#include <algorithm>
#include <cmath>

namespace quillmar {

namespace {
constexpr double Pi = 3.14159265358979323846;
constexpr double CruiseSpeed = 62;                             // mph
constexpr double ShiftUpAt = 4000;                             // rpm
constexpr double ShiftDownAt = 1300;                           // rpm
constexpr double Barometer = 1.01;                             // bar
constexpr std::array<double, 5> Pull{5.5, 4.0, 2.8, 2.0, 1.4}; // mph/s at full pull in each gear
// Fault bits a cycle may show: VSS, MAT low, oxygen sensor, EGR.
constexpr std::array<uint32_t, 4> OddFaults{1u << 0, 1u << 1, 1u << 6, 1u << 13};
} // namespace

VehicleModel::VehicleModel(uint32_t seed)
    : rng_(0x9E3779B97F4A7C15ull ^ (uint64_t(seed) * 0xBF58476D1CE4E5B9ull)) {
    if (rng_ == 0) rng_ = 1;
}

double VehicleModel::noise() {
    // xorshift64*: the same numbers on every platform.
    rng_ ^= rng_ >> 12;
    rng_ ^= rng_ << 25;
    rng_ ^= rng_ >> 27;
    const uint64_t r = rng_ * 0x2545F4914F6CDD1Dull;
    return double(r >> 11) / double(1ull << 53) * 2 - 1;
}

void VehicleModel::Advance(double seconds) {
    while (seconds > 1e-9) {
        const double dt = std::min(seconds, 0.05);
        step(dt);
        seconds -= dt;
    }
}

bool VehicleModel::fuelCut() const {
    return phase_ == Phase::Braking && gear_ > 0 && rpm_ > 1400;
}

void VehicleModel::step(double dt) {
    time_ += dt;
    phaseTime_ += dt;
    jitter_ = noise();
    const double idle = 850 + std::max(0.0, 60 - coolant_) * 6;

    switch (phase_) {
    case Phase::Idle:
    case Phase::Stopped:
        throttle_ = 0;
        speed_ = 0;
        gear_ = 0;
        if (phaseTime_ >= (phase_ == Phase::Idle ? 12 : 20)) {
            phase_ = Phase::PullAway;
            phaseTime_ = 0;
            gear_ = 1;
            ++cycle_;
            cycleFault_ = noise() > 0 ? OddFaults[size_t((noise() + 1) * 2) % OddFaults.size()] : 0;
        }
        break;
    case Phase::PullAway: {
        throttle_ = 65 + 5 * std::sin(time_);
        speed_ += Pull[size_t(gear_ - 1)] * throttle_ / 65 * dt;
        const double geared = speed_ / SpeedPerEngineSpeed[size_t(gear_ - 1)];
        if (gear_ < 5 && (geared >= ShiftUpAt || speed_ >= CruiseSpeed)) ++gear_;
        if (speed_ >= CruiseSpeed && gear_ == 5) {
            phase_ = Phase::Cruise;
            phaseTime_ = 0;
        }
        break;
    }
    case Phase::Cruise:
        throttle_ = 18 + 3 * std::sin(time_ * 0.7);
        speed_ = CruiseSpeed + 1.5 * std::sin(phaseTime_ * 0.3);
        if (phaseTime_ >= 30) {
            phase_ = Phase::Braking;
            phaseTime_ = 0;
        }
        break;
    case Phase::Braking:
        throttle_ = 0;
        speed_ = std::max(0.0, speed_ - 3.5 * dt);
        while (gear_ > 1 && speed_ / SpeedPerEngineSpeed[size_t(gear_ - 1)] < ShiftDownAt)
            --gear_;
        if (speed_ < 6) gear_ = 0; // clutch down
        if (speed_ <= 0) {
            phase_ = Phase::Stopped;
            phaseTime_ = 0;
        }
        break;
    }

    // Engine speed follows the gearbox; a slipping clutch holds it up when pulling away.
    double target = idle + 15 * jitter_;
    if (gear_ > 0) {
        target = speed_ / SpeedPerEngineSpeed[size_t(gear_ - 1)];
        if (phase_ == Phase::PullAway && gear_ == 1) target = std::max(target, 1500.0);
        target = std::max(target, idle);
    }
    if (gear_ > 0)
        rpm_ = target; // clutch in: the engine turns with the wheels
    else
        rpm_ += (target - rpm_) * std::min(1.0, dt * 4);

    coolant_ += (90 - coolant_) * dt / 150;                        // warm in a few minutes
    airTemp_ += (22 + (speed_ < 20 ? 8 : 3) - airTemp_) * dt / 60; // heat soak when slow

    const bool wideOpen = throttle_ > 50;
    if (wideOpen && rpm_ > 2500 && noise() > 0.97) {
        knockRetard_ = 4.2;
        knockCount_ = (knockCount_ + 1) % 256;
    }
    knockRetard_ = std::max(0.0, knockRetard_ - dt);
    o2Phase_ += dt * 2 * Pi * 1.2;

    faults_ = phase_ == Phase::Cruise ? cycleFault_ : 0;
}

std::map<std::string, double> VehicleModel::Values() const {
    std::map<std::string, double> v;
    const bool running = rpm_ > 300;
    const bool cut = fuelCut();
    const bool wideOpen = throttle_ > 50;
    const bool idling = throttle_ < 1 && gear_ == 0;
    const bool closedLoop = coolant_ > 60 && !wideOpen && !cut;

    // Manifold pressure: vacuum at idle and overrun, boost at full throttle and high engine speed.
    double map = 0.36 + throttle_ / 100 * (Barometer - 0.36);
    if (wideOpen && rpm_ > 2000) map += (throttle_ - 50) / 50 * std::min(1.0, (rpm_ - 2000) / 2000) * 0.7;
    if (cut) map = 0.24;
    map += 0.005 * jitter_;
    const double boost = map - Barometer;

    const double coldEnrich = std::max(0.0, (60 - coolant_) / 100);
    double pulse = (0.6 + 5.5 * map) * (1 + coldEnrich) * (wideOpen ? 1.15 : 1);
    if (cut) pulse = 0;

    double spark = idling ? 12 : (wideOpen ? 18 - 8 * std::max(0.0, boost) : 34);
    if (cut) spark = 20;
    spark -= knockRetard_;

    const double targetIdle = 850 + std::max(0.0, 60 - coolant_) * 6;

    v["Prom id"] = 8213;
    v["Faults"] = faults_;
    v["Engine run time"] = std::fmod(time_, 65536);
    v["TPS voltage"] = 0.46 + throttle_ * 0.04;
    v["Throttle"] = throttle_;
    v[KnownName::EngineSpeed] = rpm_;
    v[KnownName::Speed] = speed_;
    v[KnownName::Barometer] = Barometer;
    v[KnownName::ManifoldPressure] = map;
    v[KnownName::InjectorPulseWidth] = pulse;
    v["Spark advance"] = spark;
    v["Coolant temp."] = coolant_;
    v["MAT"] = airTemp_;
    v["CO potentiometer/Oxygen sensor?"] = cut ? 0.08 : (wideOpen ? 0.86 : 0.45 + 0.35 * std::sin(o2Phase_));
    v["Oxygen sensor (integrator)?"] = 128 + (closedLoop ? std::round(6 * std::sin(o2Phase_ * 0.25)) : 0);
    v["IAC position"] = idling ? 30 + coldEnrich * 40 : 15;
    v["Target idle"] = targetIdle;
    v["Battery volts"] = running ? 14.2 + 0.1 * jitter_ : 12.4;
    v["Air/fuel ratio"] = cut ? 25.5 : (wideOpen ? 12.2 : 14.7);
    v["DRP interval"] = std::min(1000.0, 30000 / std::max(rpm_, 30.0));
    v["Voltage comp.?"] = std::max(0.0, 14.2 + 0.1 * jitter_ - 7);
    v["Wastegate duty cycle?"] = boost > 0 ? std::min(100.0, 40 + 60 * boost) : 0;
    v["Knock counter?"] = knockCount_;
    v["Knock retard?"] = knockRetard_;
    v["Op. temp.- temp."] = std::max(0.0, 90 - coolant_);
    v["Coolant raw"] = std::clamp(std::round(230 - 2 * coolant_), 0.0, 255.0);

    auto bit = [](bool on, int n) { return on ? double(1u << n) : 0.0; };
    v["Flags 12"] = bit(throttle_ > 70, 1);
    v["Flags 30"] = bit(throttle_ > 0.5, 0) + bit(throttle_ <= 0.5, 4) + bit(idling, 7);
    v["Input flags"] = bit(true, 1) + bit(running, 5) + bit(phase_ == Phase::Cruise, 7);
    v["Operation mode flags"] = bit(phase_ == Phase::Braking, 4) + bit(phase_ == Phase::PullAway, 5);
    v["Flags 39"] = bit(boost > 0.2, 4) + bit(boost > 0.65, 5);
    v["Air fuel mode"] = bit(running, 3) + bit(cut, 4) + bit(wideOpen, 6);
    v["Flags 42"] = bit(closedLoop, 0) + bit(cut, 3);
    v["Flags 43"] = bit(cut, 1) + bit(running, 2) + bit(time_ < 2, 3);
    v["Flags 48"] = bit(throttle_ <= 0.5, 1);
    v["Flags 50"] = bit(coolant_ > 50, 0);
    return v;
}

} // namespace quillmar
