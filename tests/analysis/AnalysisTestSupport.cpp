#include "tests/analysis/AnalysisTestSupport.h"

#include "acquisition/params/Parameters.h"

namespace quillmar::testing {

namespace {

TParameter entry(const std::string& name, int position, int size, double factor, double offset,
                 const std::string& units) {
    TParameter p;
    p.Name = name;
    p.Position = static_cast<uint8_t>(position);
    p.Size = static_cast<uint8_t>(size);
    p.Factor = factor;
    p.Offset = offset;
    p.FormatAs = "%5.1f";
    p.Units = units;
    return p;
}

} // namespace

std::shared_ptr<const TParameterArray> analysisTable() {
    TParameterArray t;
    t.push_back(entry("Engine speed", 11, 1, 25, 0, "RPM"));
    t.push_back(entry("Manifold press (abs).", 24, 1, 0.01, 0.1, "bar"));
    TParameter spark = entry("Spark advance", 15, 2, 0.3515625, 0, "\xC2\xB0");
    spark.Signed = true;
    t.push_back(spark);
    t.push_back(entry("Dup", 5, 1, 1, 0, ""));
    TParameter flags = entry("Flags 30", 30, 1, 1, 0, "");
    flags.Flags = true;
    const char* bits[8] = {"Throttle>0", "bit 1", "bit 2", "bit 3",
                           "Throttle=0", "bit 5", "bit 6", "At idle"};
    for (const char* bit : bits)
        flags.Name += std::string(BitNameSeparator) + bit;
    t.push_back(flags);
    t.push_back(entry("Dup", 6, 1, 1, 0, ""));
    t.push_back(entry("Temp \xC2\xB0"
                      "C",
                      7, 1, 1, -40,
                      "\xC2\xB0"
                      "C"));
    FillBitNames(t);
    return std::make_shared<const TParameterArray>(std::move(t));
}

std::unique_ptr<TALDLLog> makeLog(const std::vector<RowBytes>& rows,
                                  std::shared_ptr<const TParameterArray> table) {
    auto log = std::make_unique<TALDLLog>(std::move(table));
    log->SetRows(static_cast<uint32_t>(rows.size()));
    for (uint32_t r = 1; r <= rows.size(); ++r) {
        const RowBytes& b = rows[r - 1];
        uint8_t data[ReplyLength] = {};
        data[11 - 1] = b.engineSpeed;
        data[24 - 1] = b.map;
        const auto spark = static_cast<uint16_t>(b.spark);
        data[15 - 1] = static_cast<uint8_t>(spark >> 8);
        data[16 - 1] = static_cast<uint8_t>(spark & 0xFF);
        data[5 - 1] = b.dup5;
        data[6 - 1] = b.dup6;
        data[30 - 1] = b.flags;
        data[7 - 1] = b.temp;
        log->WriteRow(r, data, 0.1 * (r - 1));
    }
    return log;
}

} // namespace quillmar::testing
