#include "tests/dataset/DatasetTestSupport.h"

#include "acquisition/params/Parameters.h"
#include "store/Fits.h"
#include "store/dataset/DeriveChannels.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <unistd.h>

namespace quillmar::testing {

std::shared_ptr<const TParameterArray> builtInTable() {
    static const auto table = std::make_shared<const TParameterArray>(BuiltInParameters());
    return table;
}

std::shared_ptr<const TParameterArray> tableWithFactor(const std::string& name, double factor) {
    TParameterArray t = BuiltInParameters();
    for (TParameter& p : t)
        if (DisplayName(p) == name) p.Factor = factor;
    return std::make_shared<const TParameterArray>(std::move(t));
}

std::shared_ptr<const TParameterArray> tableWithout(const std::string& name) {
    TParameterArray t;
    for (const TParameter& p : BuiltInParameters())
        if (DisplayName(p) != name) t.push_back(p);
    return std::make_shared<const TParameterArray>(std::move(t));
}

void appendRows(TALDLLog& log, const std::vector<RowSpec>& rows) {
    uint32_t row = log.Rows;
    log.SetRows(log.Rows + uint32_t(rows.size()));
    for (const RowSpec& r : rows) {
        uint8_t data[ReplyLength] = {};
        data[17 - 1] = r.speed;
        data[11 - 1] = r.engineSpeed;
        data[27 - 1] = uint8_t(r.injector >> 8);
        data[28 - 1] = uint8_t(r.injector & 0xFF);
        data[24 - 1] = r.map;
        data[23 - 1] = r.barometer;
        log.WriteRow(++row, data, r.time);
    }
}

std::unique_ptr<TALDLLog> makeLog(const std::vector<RowSpec>& rows,
                                  std::shared_ptr<const TParameterArray> table) {
    auto log = std::make_unique<TALDLLog>(std::move(table));
    appendRows(*log, rows);
    return log;
}

std::vector<RowSpec> syntheticDrive(uint32_t rows, uint32_t seed) {
    // Gear ratios of the default vehicle, mph per rpm.
    static const double ratio[6] = {0, 0.0052, 0.00904, 0.01299, 0.01686, 0.02089};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> noise(-0.6, 0.6);
    std::vector<RowSpec> out;
    out.reserve(rows);
    double speed = 0, t = 0;
    int gear = 1, clutch = 0, stopped = 40;
    for (uint32_t i = 0; i < rows; ++i) {
        RowSpec r;
        // Now and then the same time stamp twice.
        if (i > 0 && rng() % 13 == 0)
            r.time = out.back().time;
        else
            r.time = t;
        t = double(i + 1) * 0.1;
        if (stopped > 0) {
            --stopped;
            speed = 0;
            gear = 1;
        } else {
            speed += (gear < 5 ? 0.35 : 0.05) + noise(rng) * 0.2;
            if (speed > 85) {
                speed = 0;
                stopped = 30 + int(rng() % 30);
            }
        }
        double rpm = gear ? speed / ratio[gear] : 800;
        if (rpm > 5200 && gear < 5) {
            ++gear;
            clutch = 4 + int(rng() % 6);
        }
        if (clutch > 0) {
            --clutch;
            rpm = 1500 + 300 * noise(rng);
        }
        if (speed < 1) rpm = 850;
        rpm = std::min(rpm, 6300.0);
        r.speed = uint8_t(std::lround(std::clamp(speed + noise(rng), 0.0, 255.0)));
        r.engineSpeed = uint8_t(std::lround(std::clamp(rpm / 25 + noise(rng), 0.0, 255.0)));
        r.injector = uint16_t(300 + (rpm / 20) + 400 * (noise(rng) + 0.6));
        r.map = uint8_t(90 + (gear * 10) % 80);
        r.barometer = 125;
        out.push_back(r);
    }
    return out;
}

TempDir::TempDir() {
    static int counter = 0;
    path = std::filesystem::temp_directory_path() /
           ("quillmar-dataset-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(path);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

} // namespace quillmar::testing
