#include "cli/CliTable.h"

#include "acquisition/Parameters.h"
#include "store/ALDLLog.h"

namespace quillmar {

void WriteDatasetTable(const TParameterArray& params, const TALDLLog& log,
                       const std::function<void(const std::string&)>& sink, size_t chunkBytes) {
    // Every entry but the last one.
    const size_t columns = params.empty() ? 0 : params.size() - 1;
    std::string text;
    text.reserve(chunkBytes + 4096);

    text += "Time\t";
    for (size_t i = 0; i < columns; ++i) text += params[i].Name + '\t';
    text += "\r\n";
    text += "s\t";
    for (size_t i = 0; i < columns; ++i) text += params[i].Units + '\t';
    text += "\r\n";

    const TDoubleArray& times = log.Derived[TimeSlot];
    for (uint32_t r = 1; r <= log.Rows; ++r) {
        text += FormatGeneral(r < times.size() ? times[r] : 0.0);
        text += '\t';
        for (size_t k = 1; k <= columns; ++k) {
            text += FormatGeneral(static_cast<double>(log.ParameterValue(static_cast<int>(k), r)));
            text += '\t';
        }
        text += "\r\n";
        if (text.size() >= chunkBytes) {
            sink(text);
            text.clear();
        }
    }
    if (!text.empty()) sink(text);
}

std::string DatasetTableText(const TParameterArray& params, const TALDLLog& log) {
    std::string all;
    WriteDatasetTable(params, log, [&all](const std::string& piece) { all += piece; });
    return all;
}

} // namespace quillmar
