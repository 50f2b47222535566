#include "store/analysis/UserChannels.h"

#include "acquisition/params/Parameters.h"
#include "store/dataset/ALDLLog.h"

#include <charconv>
#include <cmath>

namespace quillmar {

namespace {

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

Error lineError(const std::string& line, const Place& where, const std::string& detail) {
    Error e;
    e.kind = ErrorKind::BadChannel;
    e.place = where;
    if (!where.file) e.lead = "channel \"" + line + "\"";
    e.detail = detail;
    return e;
}

// What is wrong with name as the name of a channel after earlier; empty
// when it will do.
std::string nameProblem(const std::string& name, const TParameterArray& params,
                        const std::vector<std::string>& earlier) {
    if (name.empty()) return "a channel needs a name";
    if (name.find_first_of("[]=") != std::string::npos)
        return "a channel's name holds no " + std::string("'[', ']' or '='");
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F) return "a channel's name holds no control characters";
    if (const auto taken = FindNamedValue(params, earlier, name)) {
        if (static_cast<size_t>(taken->Column) > params.size()) return "another channel has that name";
        return taken->Bit >= 0 ? "a flag bit has that name" : "a parameter has that name";
    }
    return {};
}

} // namespace

UserChannel ParseUserChannelLine(const std::string& line, const Place& where) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos)
        throw ErrorException(lineError(trimmed(line), where, "no '=' between the name and the expression"));
    UserChannel channel;
    channel.Where = where;
    std::string left = trimmed(line.substr(0, equals));
    channel.Expression = trimmed(line.substr(equals + 1));
    // "NAME [UNIT]": the unit in the last brackets, at the end.
    if (!left.empty() && left.back() == ']') {
        const size_t open = left.rfind('[');
        if (open != std::string::npos) {
            channel.Unit = trimmed(left.substr(open + 1, left.size() - open - 2));
            left = trimmed(left.substr(0, open));
        }
    }
    channel.Name = left;
    if (channel.Name.empty()) throw ErrorException(lineError(trimmed(line), where, "no name before the '='"));
    if (channel.Name.find_first_of("[]") != std::string::npos ||
        channel.Unit.find_first_of("[]") != std::string::npos)
        throw ErrorException(lineError(trimmed(line), where,
                                       "write the name, then the unit in brackets: NAME [UNIT]=EXPRESSION"));
    if (channel.Expression.empty())
        throw ErrorException(lineError(trimmed(line), where, "no expression after the '='"));
    return channel;
}

std::string FormatUserChannelLine(const UserChannel& channel) {
    std::string line = channel.Name;
    if (!channel.Unit.empty()) line += " [" + channel.Unit + "]";
    return line + "=" + channel.Expression;
}

UserChannelList UserChannelList::Parse(const std::string& text, const std::string& fileName) {
    UserChannelList list;
    uint64_t number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string content = trimmed(line);
        if (content.empty() || content.front() == '#') continue;
        Place where;
        if (!fileName.empty()) {
            where.file = fileName;
            where.line = number;
        }
        list.Channels.push_back(ParseUserChannelLine(line, where));
    }
    return list;
}

std::string UserChannelList::Format() const {
    std::string text;
    for (const UserChannel& channel : Channels)
        text += FormatUserChannelLine(channel) + "\n";
    return text;
}

std::vector<std::string> UserChannelList::Names() const {
    std::vector<std::string> names;
    for (const UserChannel& channel : Channels)
        names.push_back(channel.Name);
    return names;
}

std::vector<std::string> UserChannelList::Units() const {
    std::vector<std::string> units;
    for (const UserChannel& channel : Channels)
        units.push_back(channel.Unit);
    return units;
}

Error ChannelError(const UserChannel& channel, ErrorKind kind, const std::string& detail) {
    Error e;
    e.kind = kind;
    e.place = channel.Where;
    if (channel.Where.file)
        e.tail = ", channel \"" + channel.Name + "\"";
    else
        e.lead = "channel \"" + channel.Name + "\"";
    e.detail = detail;
    return e;
}

std::optional<Error> ValidateUserChannel(const UserChannel& channel, const TParameterArray& params,
                                         const std::vector<std::string>& earlier) {
    if (const std::string why = nameProblem(channel.Name, params, earlier); !why.empty())
        return ChannelError(channel, ErrorKind::BadChannel, why);
    ExpressionProblem problem;
    if (!ChannelExpression::Compile(channel.Expression, params, earlier, problem))
        return ChannelError(channel, problem.Kind, problem.Text);
    return std::nullopt;
}

UserChannelSet::UserChannelSet(const UserChannelList& list, const TParameterArray& params) : list_(list) {
    std::vector<std::string> earlier;
    for (const UserChannel& channel : list_.Channels) {
        if (const std::string why = nameProblem(channel.Name, params, earlier); !why.empty())
            throw ErrorException(ChannelError(channel, ErrorKind::BadChannel, why));
        ExpressionProblem problem;
        auto expression = ChannelExpression::Compile(channel.Expression, params, earlier, problem);
        if (!expression) throw ErrorException(ChannelError(channel, problem.Kind, problem.Text));
        expressions_.push_back(std::move(expression));
        earlier.push_back(channel.Name);
    }
}

UserChannelSet::~UserChannelSet() = default;
UserChannelSet::UserChannelSet(UserChannelSet&&) noexcept = default;
UserChannelSet& UserChannelSet::operator=(UserChannelSet&&) noexcept = default;

void UserChannelSet::Compute(TALDLLog& log) const {
    log.UserChannels.clear();
    log.UserChannels.reserve(size());
    std::vector<double> inputs;
    for (size_t c = 0; c < size(); ++c) {
        const ChannelExpression& expression = *expressions_[c];
        UserChannelColumn column{list_.Channels[c].Name, list_.Channels[c].Unit,
                                 TDoubleArray(size_t(log.Rows) + 1, NAN)};
        inputs.resize(expression.Inputs().size());
        for (uint32_t r = 1; r <= log.Rows; ++r) {
            for (size_t k = 0; k < inputs.size(); ++k)
                inputs[k] = RowValue(log, expression.Inputs()[k], r);
            column.Values[r] = expression.Evaluate(inputs);
        }
        // The channels after this one read it through the dataset.
        log.UserChannels.push_back(std::move(column));
    }
}

std::vector<double> UserChannelSet::LiveValues(const TParameterArray& params) const {
    std::vector<double> values;
    std::vector<double> inputs;
    for (const auto& expression : expressions_) {
        inputs.clear();
        for (const NamedValue& input : expression->Inputs())
            inputs.push_back(LiveValue(params, values, input));
        values.push_back(expression->Evaluate(inputs));
    }
    return values;
}

TParameterArray UserChannelSet::TableWithChannels(const TParameterArray& params) const {
    TParameterArray table = params;
    for (const UserChannel& channel : list_.Channels) {
        TParameter p;
        p.Name = channel.Name;
        p.Units = channel.Unit;
        p.FormatAs = "%g";
        table.push_back(std::move(p));
    }
    return table;
}

std::string UserChannelLiveText(const UserChannelList& list, const std::vector<double>& values) {
    std::string text;
    for (size_t c = 0; c < list.Channels.size(); ++c) {
        const UserChannel& channel = list.Channels[c];
        text += channel.Name + ": ";
        const double v = c < values.size() ? values[c] : NAN;
        if (std::isfinite(v)) {
            char buffer[64];
            const auto written =
                std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 6);
            text.append(buffer, written.ptr);
            if (!channel.Unit.empty()) text += " " + channel.Unit;
        } else {
            text += "no value";
        }
        text += '\n';
    }
    return text;
}

} // namespace quillmar
