// Decodes every parameter of every row of a large log through ParameterValue
// and prints the time per row.

#include "acquisition/params/Parameters.h"
#include "store/Store.h"
#include "store/dataset/ParameterValue.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

using namespace quillmar;

int main(int argc, char** argv) {
    const uint32_t rows = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000u;
    const TParameterArray& table = BuiltInParameters();

    TNumber2DArrayStore log;
    if (!log.Make2D(ReplyLength + 8, rows, 1)) {
        std::fprintf(stderr, "cannot make a log of %u rows\n", rows);
        return 1;
    }
    std::mt19937 random(12345);
    for (uint32_t r = 1; r <= rows; ++r) {
        uint8_t* bytes = log.RowData(r);
        for (uint32_t k = 0; k < log.RowBytes(); ++k)
            bytes[k] = static_cast<uint8_t>(random());
    }
    std::array<TDoubleArray, DerivedChannelCount> derived;
    for (auto& d : derived)
        d.assign(rows + 1, 1.0);

    const int columns = static_cast<int>(table.size());
    const auto start = std::chrono::steady_clock::now();
    long double sum = 0;
    for (uint32_t r = 1; r <= rows; ++r)
        for (int c = 1; c <= columns; ++c)
            sum += ParameterValue(table, log, c, r, &derived);
    const auto stop = std::chrono::steady_clock::now();

    const double seconds = std::chrono::duration<double>(stop - start).count();
    std::printf("ParameterValue: %u rows x %d parameters in %.3f s\n", rows, columns, seconds);
    std::printf("  %.1f ns per row, %.2f ns per value (checksum %.6Lg)\n", seconds * 1e9 / rows,
                seconds * 1e9 / (static_cast<double>(rows) * columns), sum);
    return 0;
}
