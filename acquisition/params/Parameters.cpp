// The built-in M100 parameter table.

#include "acquisition/params/Parameters.h"

#include <initializer_list>
#include <utility>

namespace quillmar {
namespace {

using BitOverrides = std::initializer_list<std::pair<int, const char*>>;

// Eight bit names "<prefix> 0" .. "<prefix> 7" with some replaced.
std::vector<std::string> byteBits(BitOverrides overrides, const char* prefix = "bit") {
    std::vector<std::string> names;
    for (int b = 0; b < 8; ++b)
        names.push_back(std::string(prefix) + " " + std::to_string(b));
    for (const auto& [bit, name] : overrides)
        names[static_cast<size_t>(bit)] = name;
    return names;
}

TParameter entry(const char* name, int position, int size, double offset, double factor, const char* formatAs,
                 const char* units, bool isSigned, int icon) {
    TParameter p;
    p.Name = name;
    p.Position = static_cast<uint8_t>(position);
    p.Size = static_cast<uint8_t>(size);
    p.Offset = offset;
    p.Factor = factor;
    p.FormatAs = formatAs;
    p.Units = units;
    p.Signed = isSigned;
    p.Flags = false;
    p.Icon = icon;
    return p;
}

TParameter flagEntry(const char* name, int position, int size, const std::vector<std::string>& bitNames) {
    TParameter p = entry(name, position, size, 0, 1, "%x", "", false, 24);
    p.Flags = true;
    for (const auto& bit : bitNames)
        p.Name += std::string(BitNameSeparator) + bit;
    return p;
}

TParameterArray buildTable() {
    const std::vector<std::string> faults = {"VSS",
                                             "MAT low",
                                             "TPS low",
                                             "TPS high",
                                             "CTS low",
                                             "CTS high",
                                             "Oxygen sensor",
                                             "No ref. pulses",
                                             "EST monitor error",
                                             "CAS fault",
                                             "IAC error",
                                             "MAP low",
                                             "MAP high",
                                             "EGR",
                                             "Wastegate overboost",
                                             "MAT high",
                                             "ADV error",
                                             "CO pot circuit",
                                             "High battery voltage",
                                             "Fuel injector circuit",
                                             "PROM error",
                                             "Oxygen sensor rich",
                                             "Oxygen sensor lean",
                                             "ESC failure"};
    const auto plain = byteBits({});

    TParameterArray t;
    t.reserve(65);
    t.push_back(entry("Prom id", 1, 2, 0, 1, "%u", "", false, 27));
    t.push_back(flagEntry("Faults", 3, 3, faults));
    t.push_back(entry("Time", 64, 0, 0, 1, "%5.1f", "s", false, 34));
    t.push_back(entry("Engine run time", 31, 2, 0, 1, "%5.1f", "s", false, 25));
    t.push_back(entry("Distance", 0, 0, 0, 1, "%5.1f", "miles", false, 35));
    t.push_back(entry("TPS voltage", 9, 1, 0, 0.02, "%5.2f", "V", false, 25));
    t.push_back(entry("Throttle", 10, 1, 0, 0.3921568627451, "%5.1f", "%", false, 25));
    t.push_back(entry("Gear", 0, 0, 0, 1, "%5.1f", "", false, 38));
    t.push_back(entry("Engine speed", 11, 1, 0, 25, "%5.1f", "RPM", false, 29));
    t.push_back(entry("Speed", 17, 1, 0, 1, "%5.1f", "mph", false, 30));
    t.push_back(entry("Smoothed speed", 0, 0, 0, 1, "%5.1f", "mph", false, 30));
    t.push_back(entry("Calc. speed", 0, 0, 0, 1, "%5.1f", "mph", false, 30));
    t.push_back(entry("Acceleration", 0, 0, 0, 1, "%5.1f", "g", false, 37));
    t.push_back(entry("Power", 0, 0, 0, 1, "%5.1f", "horsepower", false, 36));
    t.push_back(entry("Barometer", 23, 1, 0.08, 0.00781, "%5.2f", "bar", false, 25));
    t.push_back(entry("Boost", 0, 0, 0, 1, "%5.2f", "bar", false, 25));
    t.push_back(entry("Manifold press (abs).", 24, 1, 0.08, 0.00781, "%5.2f", "bar", false, 25));
    t.push_back(entry("Injector pulse width", 27, 2, 0, 0.00762939453125, "%5.1f", "ms", false, 25));
    t.push_back(entry("Injector duty", 0, 0, 0, 1, "%5.1f", "%", false, 25));
    t.push_back(entry("Spark advance", 15, 2, 0, 0.3515625, "%5.1f", "\xC2\xB0", true, 25));
    t.push_back(entry("Coolant temp.", 6, 1, -40, 0.75, "%5.1f",
                      "\xC2\xB0"
                      "C",
                      false, 25));
    t.push_back(entry("MAT", 47, 1, 130, -0.549, "%5.1f",
                      "\xC2\xB0"
                      "C",
                      false, 25));
    t.push_back(
        entry("CO potentiometer/Oxygen sensor?", 18, 1, 0, 0.0196078431372549, "%5.1f", "V", false, 25));
    t.push_back(entry("Oxygen sensor (integrator)?", 19, 1, 0, 1, "%x", "", false, 25));
    t.push_back(entry("IAC position", 21, 1, 0, 1, "%5.1f", "", false, 25));
    t.push_back(entry("Target idle", 22, 1, 0, 12.5, "%5.1f", "RPM", false, 25));
    t.push_back(entry("Battery volts", 26, 1, 0, 0.1, "%5.1f", "V", false, 25));
    t.push_back(entry("Oxygen sensor (integrator)?", 29, 1, 0, 1, "%x", "", false, 25));
    t.push_back(entry("Air/fuel ratio", 33, 1, 0, 0.1, "%5.1f", "", false, 25));
    t.push_back(entry("DRP interval", 13, 2, 0, 0.01526, "%5.1f", "ms", false, 28));
    t.push_back(entry("Voltage comp.?", 37, 1, 0, 0.05, "%5.1f", "V", false, 25));
    t.push_back(entry("Wastegate duty cycle?", 41, 1, 0, 0.390625, "%5.1f", "%", false, 25));
    t.push_back(entry("Knock counter?", 44, 1, 0, 1, "%5.1f", "", false, 25));
    t.push_back(entry("Knock retard?", 45, 1, 0, 0.17647058823529413, "%5.1f", "\xC2\xB0", false, 25));
    t.push_back(entry("Op. temp.- temp.", 61, 1, 0, 1, "%5.1f",
                      "\xC2\xB0"
                      "C",
                      false, 25));
    t.push_back(entry("Coolant raw", 7, 1, 0, 1, "%5.1f", "", false, 25));
    t.push_back(entry("Unused", 8, 1, 0, 1, "%x", "", false, -1));
    t.push_back(
        flagEntry("Flags 12", 12, 1, byteBits({{0, "Bit 0"}, {1, "secondary throttle"}, {5, "EGR"}})));
    t.push_back(flagEntry("Flags 20", 20, 1, plain));
    t.push_back(entry("25", 25, 1, 0, 1, "%5.1f", "", false, 28));
    t.push_back(
        flagEntry("Flags 30", 30, 1, byteBits({{0, "Throttle>0"}, {4, "Throttle=0"}, {7, "At idle"}})));
    t.push_back(flagEntry("Flags 34", 34, 1, plain));
    t.push_back(flagEntry("Flags 35", 35, 1, plain));
    t.push_back(flagEntry("Input flags", 36, 1,
                          byteBits({{1, "Steering load normal"}, {5, "CAS pulse"}, {7, "AC clutch"}})));
    t.push_back(flagEntry("Operation mode flags", 38, 1,
                          byteBits({{4, "Deceleration mode"}, {5, "Acceleration mode"}})));
    t.push_back(flagEntry("Flags 39", 39, 1, byteBits({{4, "Air control sol.?"}, {5, "Overboost"}})));
    t.push_back(
        flagEntry("Air fuel mode", 40, 1, byteBits({{3, "Engine running"}, {4, "Cut fuel"}, {6, "Rich"}})));
    t.push_back(flagEntry("Flags 42", 42, 1, byteBits({{0, "Closed loop"}, {3, "Overrun fuel cut"}})));
    t.push_back(flagEntry(
        "Flags 43", 43, 1,
        byteBits({{1, "Fuel cut"}, {2, "Engine running?"}, {3, "Start mode?"}, {6, "Start mode?"}})));
    t.push_back(flagEntry("Flags 46", 46, 1, plain));
    t.push_back(flagEntry("Flags 48", 48, 1, byteBits({{1, "0% Throttle"}, {5, "stalled"}})));
    t.push_back(flagEntry("Flags 49", 49, 1, plain));
    t.push_back(flagEntry("Flags 50", 50, 1,
                          byteBits({{0, "Coolant over 50\xC2\xB0"
                                        "C"}})));
    t.push_back(flagEntry("Flags 51", 51, 1, plain));
    t.push_back(flagEntry("Flags 52", 52, 1, byteBits({{3, "MAT disconnected"}})));
    t.push_back(entry("53", 53, 1, 0, 1, "%5.1f", "", false, 25));
    t.push_back(flagEntry("Flags 54", 54, 1, plain));
    t.push_back(flagEntry("Flags 55", 55, 1, plain));
    t.push_back(entry("56", 56, 1, 0, 1, "%5.1f", "", false, 25));
    t.push_back(flagEntry("Flags 57", 57, 1, plain));
    t.push_back(flagEntry("Flags 58", 58, 1, plain));
    t.push_back(flagEntry("Flags 59", 59, 1, plain));
    t.push_back(flagEntry("Flags 60", 60, 1, plain));
    t.push_back(flagEntry("Flags 62", 62, 1, byteBits({}, "flag")));
    t.push_back(flagEntry("Flags 63", 63, 1, byteBits({}, "flag")));
    return t;
}

} // namespace

const TParameterArray& BuiltInParameters() {
    static const TParameterArray table = buildTable();
    return table;
}

} // namespace quillmar
