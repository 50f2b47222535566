#pragma once
// User channels: a name, a unit and an expression over the parameters
// (ChannelExpression.h), computed for every row of every dataset and from
// the live values.
//
// A channel is written as one line, the same in the settings, on the
// command line (--channel) and in a channels file (--channels):
//
//   NAME=EXPR              Load=[Engine speed] * [Manifold press (abs).] / 1000
//   NAME [UNIT]=EXPR       Boost kPa [kPa]=([Manifold press (abs).] - [Barometer]) * 100
//
// The name runs to the first '=' (without a trailing "[UNIT]"); blanks
// around the name, the unit and the expression do not count. A name holds
// no '[', ']' or '=', and is neither a value's name (NamedValues.h) nor the
// name of another channel. A channel may use the channels listed before it.

#include "acquisition/params/ParameterTypes.h"
#include "store/analysis/ChannelExpression.h"
#include "store/base/Error.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillmar {

class TALDLLog;

struct UserChannel {
    std::string Name;
    std::string Unit;
    std::string Expression;
    // Where the channel was written (a channels file and its line), for
    // messages; no part of the channel itself.
    Place Where;

    bool operator==(const UserChannel& other) const {
        return Name == other.Name && Unit == other.Unit && Expression == other.Expression;
    }
};

// One line in the form above. Throws ErrorException (kind BadChannel) when
// the line has no '=', no name or no expression, or its name holds '[' or
// ']'; where says where the line is (a file and line) for the message.
UserChannel ParseUserChannelLine(const std::string& line, const Place& where = {});
// The line of a channel: "NAME [UNIT]=EXPR", or "NAME=EXPR" without a unit.
std::string FormatUserChannelLine(const UserChannel& channel);

// The channels in their order: the value the settings keep and the command
// line builds.
struct UserChannelList {
    std::vector<UserChannel> Channels;

    // One channel a line (LF or CR LF); empty lines and lines whose first
    // character other than a blank is '#' are skipped. fileName goes into
    // each channel's Where with its line, and into messages. Throws
    // ErrorException (BadChannel) at the first line that is no channel.
    static UserChannelList Parse(const std::string& text, const std::string& fileName = {});
    // One line per channel, each ending in '\n'.
    std::string Format() const;

    std::vector<std::string> Names() const;
    std::vector<std::string> Units() const;
    bool operator==(const UserChannelList&) const = default;
};

// The message of a problem with a channel: "channel "Load": no parameter,
// flag bit or channel is named [Engine sped]", or, for a channel from a
// file, "channels.txt, line 3, channel "Load": ...".
Error ChannelError(const UserChannel& channel, ErrorKind kind, const std::string& detail);

// nullopt when channel can follow the channels named earlier: its name is
// free and its expression compiles; else what is wrong, as ChannelError.
// For a dialog that checks as the user types.
std::optional<Error> ValidateUserChannel(const UserChannel& channel, const TParameterArray& params,
                                         const std::vector<std::string>& earlier = {});

// A list compiled against a parameter table, ready to compute.
class UserChannelSet {
public:
    // Every channel checked and compiled in order. Throws ErrorException
    // (ChannelError) at the first channel that will not do.
    UserChannelSet(const UserChannelList& list, const TParameterArray& params);
    ~UserChannelSet();
    UserChannelSet(UserChannelSet&&) noexcept;
    UserChannelSet& operator=(UserChannelSet&&) noexcept;

    const UserChannelList& List() const { return list_; }
    size_t size() const { return list_.Channels.size(); }
    bool empty() const { return list_.Channels.empty(); }

    // Computes every channel for every row of log (which must use the table
    // the set was compiled against) into log.UserChannels, replacing what
    // was there: NAN where a row has no value.
    void Compute(TALDLLog& log) const;
    // Every channel at the table's live values (params[i].Value), in order.
    std::vector<double> LiveValues(const TParameterArray& params) const;

    // The table followed by one derived entry per channel (its name and
    // unit), so that lists of names and units made from a table (the
    // graph's selectors) offer the channels after the parameters; position
    // size() + 1 + c of ParameterNames is channel c, as datasets read it.
    TParameterArray TableWithChannels(const TParameterArray& params) const;

private:
    UserChannelList list_;
    std::vector<std::unique_ptr<ChannelExpression>> expressions_;
};

// The live lines of the channels, as the live table shows them: "Load:
// 0.4675 kPa" (six significant digits), "Load: no value".
std::string UserChannelLiveText(const UserChannelList& list, const std::vector<double>& values);

} // namespace quillmar
