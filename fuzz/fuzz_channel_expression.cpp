// Arbitrary bytes as a channels file (one "NAME [UNIT]=EXPR" a line), parsed,
// compiled against the built-in table and computed for a few rows and from
// live values; each expression also validated on its own, as a dialog
// checks it while the user types. Every failure must be an ErrorException
// or a problem the validation names, and every value a number or NAN.
#include "acquisition/params/Parameters.h"
#include "store/analysis/UserChannels.h"
#include "store/dataset/ALDLLog.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillmar;
    static const auto table = [] {
        auto t = std::make_shared<TParameterArray>(BuiltInParameters());
        FillBitNames(*t);
        return t;
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);

    UserChannelList list;
    try {
        list = UserChannelList::Parse(text, "fuzz.channels");
    } catch (const ErrorException&) {
        return 0;
    }
    for (const UserChannel& channel : list.Channels)
        if (const auto problem = ValidateExpression(channel.Expression, *table, list.Names()))
            if (problem->Offset > channel.Expression.size() || problem->Text.empty()) std::abort();

    std::unique_ptr<UserChannelSet> set;
    try {
        set = std::make_unique<UserChannelSet>(list, *table);
    } catch (const ErrorException&) {
        return 0;
    }
    // Three rows whose bytes are the input's, then the live values.
    TALDLLog log(table);
    log.Make2D(LogColumns, 3, 1);
    uint8_t row[ReplyLength] = {};
    for (uint32_t r = 1; r <= 3; ++r) {
        for (size_t k = 0; k < ReplyLength; ++k)
            row[k] = size ? data[(k * 7 + r) % size] : 0;
        log.WriteRow(r, row, 0.2 * r);
    }
    set->Compute(log);
    for (const UserChannelColumn& column : log.UserChannels)
        for (uint32_t r = 1; r <= 3; ++r)
            if (std::isinf(column.Values[r])) std::abort();
    for (double v : set->LiveValues(*table))
        if (std::isinf(v)) std::abort();
    return 0;
}
