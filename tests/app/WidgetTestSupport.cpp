#include "tests/app/WidgetTestSupport.h"

#include "acquisition/params/Parameters.h"
#include "store/dataset/ALDLLog.h"

#include <memory>

namespace quillmar::testing {

std::vector<uint8_t> TestLogRow(uint32_t r) {
    std::vector<uint8_t> data(ReplyLength);
    for (size_t k = 0; k < data.size(); ++k)
        data[k] = uint8_t((k * 7 + r * 13) % 251);
    data[10] = uint8_t(r); // engine speed, data byte 11
    return data;
}

void WriteTestLog(const std::string& fileName, uint32_t rows, double step, const std::string& comment) {
    TALDLLog log(std::make_shared<TParameterArray>(BuiltInParameters()));
    log.Make2D(LogColumns, rows, 1);
    for (uint32_t r = 1; r <= rows; ++r) {
        const std::vector<uint8_t> data = TestLogRow(r);
        log.WriteRow(r, data.data(), (r - 1) * step);
    }
    log.StoreName = comment;
    log.SaveToFile(fileName);
}

} // namespace quillmar::testing
