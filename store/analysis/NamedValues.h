#pragma once
// A value of a row as the user names it: a parameter by its display name
// ("Engine speed"), a flag entry's bit as the entry's display name and the
// bit's name joined by a slash ("Flags 30/At idle", 0 or 1), or a user
// channel by its name. Expressions, the table generator and the command
// line all name values this way.

#include "acquisition/params/ParameterTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmar {

class TALDLLog;

struct NamedValue {
    // Position in ParameterNames (entry Column - 1), 1 and up; a position past
    // the table's entries is user channel Column - size - 1 (see
    // TALDLLog::ParameterValue).
    int32_t Column = 0;
    int Bit = -1; // 0..: the flag bit of that entry, which gives 0 or 1
    bool operator==(const NamedValue&) const = default;
};

// What name stands for: a display name first (names such as "Air/fuel
// ratio" hold a slash; a name the table holds twice means its first), then
// a flag entry's name and one of its bit names ("Flags 30/At idle"; a bit
// name an entry holds twice means its lower bit), then one of channelNames,
// the user channels following the table. nullopt when nothing has that name.
std::optional<NamedValue> FindNamedValue(const TParameterArray& params,
                                         const std::vector<std::string>& channelNames,
                                         const std::string& name);

// Every name FindNamedValue knows, each once, in table order (bits after
// their entry), then the channel names.
std::vector<std::string> ValueNames(const TParameterArray& params,
                                    const std::vector<std::string>& channelNames);

// The unit of a named value: the entry's, a channel's from channelUnits, none
// for a flag bit.
std::string UnitOf(const TParameterArray& params, const std::vector<std::string>& channelUnits,
                   const NamedValue& value);

// The value in row (1..Rows) of log, in double precision; NAN where a user
// channel has none.
double RowValue(const TALDLLog& log, const NamedValue& value, uint32_t row);

// The value at the table's live values (params[i].Value), with the user
// channels' live values in channelValues.
double LiveValue(const TParameterArray& params, const std::vector<double>& channelValues,
                 const NamedValue& value);

} // namespace quillmar
