#pragma once
// The parameter table of the M100 mode 1 reply and the rule that turns the
// reply's data bytes into engineering values.
//
// Data bytes are numbered from 1: data byte k is data[k - 1]. Table entries are
// numbered from 0; in ParameterNames entry i sits at position i + 1, which is
// the column a dataset is asked for.

#include "acquisition/params/ParameterTypes.h"
#include "store/base/Error.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillmar {

// Number of data bytes a valid mode 1 reply carries.
inline constexpr int ReplyLength = 63;

// Number of derived channels a dataset computes (see DerivedSlot).
inline constexpr int DerivedChannelCount = 9;

// The built-in table: 65 entries whose sizes add up to ReplyLength. Flag
// entries carry their bit names in Name, each preceded by BitNameSeparator.
const TParameterArray& BuiltInParameters();

// ---- decoding ----------------------------------------------------------

// Decodes entry p from a block of data bytes (data byte k is data[k - 1]).
//   Size 1:  b[p] * Factor + Offset
//   Size 2:  b[p] * 256 + b[p+1] (high byte first), as int16 when Signed,
//            then * Factor + Offset
//   Size 3+: sum of b[p+k] * 2^(8k) (low byte first), no factor or offset
//   Size 0:  0 (derived entries are not in the reply)
// An entry whose bytes are not all within data[0 .. length-1] (or Position 0)
// decodes as 0; nothing outside the buffer is ever read.
long double DecodeValue(const TParameter& p, const uint8_t* data, size_t length);

// Live path: sets params[i].Value from the latest reply. Size 0 entries and an
// index outside the table are left alone.
void DecodeParameter(TParameterArray& params, int i, const uint8_t* data, size_t length);

// Position of a derived channel among a dataset's nine derived arrays:
// "Time" 0, "Distance" 1, "Acceleration" 2, "Power" 3, "Gear" 4,
// "Calc. speed" 5, "Smoothed speed" 6, "Boost" 7, "Injector duty" 8; -1 for any
// other name. The name is the entry's display name.
int DerivedSlot(const std::string& name);

// The flag test: round value to the nearest 64-bit integer and AND it with
// 2^bit. Bits outside 0..63 are off.
bool BitIsOn(double value, int bit);

// ---- names -------------------------------------------------------------

// The text before the first separator (the whole name for other entries).
std::string DisplayName(const TParameter& p);

// Exactly Size * 8 bit names taken from the text after the display name;
// missing names are empty, and the last name runs to the end of the text.
// Empty for an entry that is not a flag entry.
std::vector<std::string> SplitBitNames(const TParameter& p);

// Fills every flag entry's BitNames from its Name (others get none).
void FillBitNames(TParameterArray& params);

// "blank" followed by the display name of every entry.
std::vector<std::string> MakeParameterNames(const TParameterArray& params);

// One element per bit of every flag entry, in table order and bit order.
// Mask is 2^bit as a 32-bit pattern (bit 31 is the sign bit); bits from 32
// upward do not fit in Mask and get 0.
std::vector<TFlagDef> MakeFlagDefs(const TParameterArray& params);

// The parameters the program looks for by name: the derived channels, the
// dials and the acquisition graph read them.
enum class KnownParameter { Time, Speed, EngineSpeed, ManifoldPressure, Barometer, InjectorPulseWidth };

namespace KnownName {
inline constexpr const char* Time = "Time";
inline constexpr const char* Speed = "Speed";
inline constexpr const char* EngineSpeed = "Engine speed";
inline constexpr const char* ManifoldPressure = "Manifold press (abs).";
inline constexpr const char* Barometer = "Barometer";
inline constexpr const char* InjectorPulseWidth = "Injector pulse width";
} // namespace KnownName

// The name the table gives the parameter (one of KnownName).
const char* KnownParameterName(KnownParameter which);

// Position of the parameter in parameterNames (first occurrence), -1 when
// absent: the one lookup of a well-known parameter.
int32_t FindKnownParameter(const std::vector<std::string>& parameterNames, KnownParameter which);

// Positions in ParameterNames of the names the derived channels need; -1 when
// absent; the first occurrence counts.
struct ParameterIndices {
    int32_t SpeedIndex = -1;       // KnownName::Speed
    int32_t TimeIndex = -1;        // KnownName::Time
    int32_t MapIndex = -1;         // KnownName::ManifoldPressure
    int32_t BarometerIndex = -1;   // KnownName::Barometer
    int32_t InjectorIndex = -1;    // KnownName::InjectorPulseWidth
    int32_t EngineSpeedIndex = -1; // KnownName::EngineSpeed
};
ParameterIndices FindParameterIndices(const std::vector<std::string>& parameterNames);

// Position of name in parameterNames (first occurrence), -1 when absent.
int32_t IndexOfName(const std::vector<std::string>& parameterNames, const std::string& name);

// ---- text --------------------------------------------------------------

// True when pattern is a safe printf pattern for one number: literal text,
// "%%", and exactly one conversion among d i u x X o f F e E g G with optional
// flags, width and precision (no '*', no length modifiers).
bool IsValidFormatAs(const std::string& pattern);

// The value through FormatAs, then " " and Units. "%x" and "%u" (exactly)
// take the value rounded to a 64-bit integer; any other integer conversion
// also gets an integer, floating conversions a double. An invalid pattern is
// replaced by "%g".
std::string FormatParameterValue(const TParameter& p, double value);

// Display name + ": " + FormatParameterValue.
std::string ParameterLine(const TParameter& p, double value);

// A flag bit's line: bit name + ": On" or ": Off".
std::string BitLine(const std::string& bitName, bool on);

// General format, locale independent: up to 15 significant digits, '.' as
// the decimal separator, no trailing zeros. Fixed notation when the
// magnitude is at least 1e-5 and below 1e15, scientific otherwise in the form
// "1E-6", "1.5E+20" (mantissa without trailing zeros, exponent with sign).
std::string FormatGeneral(double v);

// ---- start-up check ----------------------------------------------------

struct TableCheck {
    bool Ok = true;
    std::string Caption; // "error" when not Ok
    std::string Message; // the message box text
    std::string Where;   // section and key, or empty
    Error Problem;       // the failure in parts (kind, place); Message is its text

    // A failure: Caption "error", Message the text of problem, Where its section and key.
    static TableCheck Failed(Error problem);
};

// The start-up consistency check: every entry with bytes lies within the
// reply (Position 1.. and Position + Size - 1 <= ReplyLength), and the sizes
// add up to ReplyLength ("Total parameters byte length incorrect", and on a
// second line "<file>: the sizes of its 2 parameters add up to 5 bytes; a
// reply holds 63 data bytes"). fileName is used in messages that name an
// entry ("<file>, section [Parameter 12], key Position: ...").
TableCheck CheckParameterTable(const TParameterArray& params,
                               const std::string& fileName = "M100 ALDL protocol.ini");

} // namespace quillmar
