#pragma once
// Datasets for the acquisition graph's tests: rows of a few known values of
// the built-in table, with the derived channels computed, and log files
// written from them.

#include "acquisition/params/Parameters.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quillmar::agraphtest {

// One row in the built-in table's raw bytes.
struct Row {
    double Time = 0;
    uint8_t EngineSpeed = 0; // data byte 11, x 25 rpm
    uint8_t Throttle = 0;    // data byte 10, x 100/255 %
    uint8_t Speed = 0;       // data byte 17, mph
    uint8_t Flags30 = 0;     // data byte 30: bit 0 "Throttle>0", bit 7 "At idle"
};

inline std::shared_ptr<const TParameterArray> builtInTable() {
    static const auto table = [] {
        auto t = std::make_shared<TParameterArray>(BuiltInParameters());
        FillBitNames(*t);
        return std::shared_ptr<const TParameterArray>(std::move(t));
    }();
    return table;
}

inline void fillLog(TALDLLog& log, const std::vector<Row>& rows) {
    log.SetRows(static_cast<uint32_t>(rows.size()));
    uint32_t r = 0;
    for (const Row& row : rows) {
        uint8_t data[ReplyLength] = {};
        data[11 - 1] = row.EngineSpeed;
        data[10 - 1] = row.Throttle;
        data[17 - 1] = row.Speed;
        data[30 - 1] = row.Flags30;
        log.WriteRow(++r, data, row.Time);
    }
    log.DeriveChannels();
}

// n rows 0.1 s apart; row r (1-based) from make(r).
inline std::vector<Row> rows(uint32_t n, const std::function<Row(uint32_t)>& make) {
    std::vector<Row> out;
    for (uint32_t r = 1; r <= n; ++r) {
        Row row = make(r);
        row.Time = (r - 1) * 0.1;
        out.push_back(row);
    }
    return out;
}

// A run whose engine speed and throttle climb and fall with seed.
inline std::vector<Row> run(uint32_t n, uint32_t seed) {
    return rows(n, [seed](uint32_t r) {
        Row row;
        row.EngineSpeed = static_cast<uint8_t>(40 + (r * (seed + 3)) % 120);
        row.Throttle = static_cast<uint8_t>((r * 7 + seed * 13) % 256);
        row.Speed = static_cast<uint8_t>((r + seed) % 90);
        row.Flags30 = static_cast<uint8_t>(r % 3 == 0 ? 0x81 : (r % 3 == 1 ? 0x01 : 0x80));
        return row;
    });
}

// A log file holding rows.
inline void writeLogFile(const std::string& fileName, const std::vector<Row>& rows) {
    TALDLLog log(builtInTable());
    fillLog(log, rows);
    log.SaveToFile(fileName);
}

} // namespace quillmar::agraphtest
