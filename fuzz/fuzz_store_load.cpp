// Loads a store from arbitrary bytes, as a log file and as the other store
// kinds, then touches every element the loaded counts allow and saves it back.
// The same bytes read through a pipe, as a stream, must load to the same store.
#include "store/Fits.h"
#include "store/Store.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

template <typename S> void exercise(S& store, const uint8_t* data, std::size_t size) {
    store.ShowErrors = false;
    try {
        store.LoadFromBytes(data, size, "fuzz.ecu");
    } catch (const quillmar::FileError&) {
        return;
    }
    volatile long double sink = 0;
    if constexpr (std::is_base_of_v<quillmar::TNumber2DArrayStore, S>) {
        for (uint32_t r = 1; r <= store.Rows && r <= 64; ++r) {
            for (uint32_t c = 1; c <= store.Columns && c <= 80; ++c)
                sink = sink + store.GetElement(c, r);
            if (const uint8_t* row = store.RowData(r)) sink = sink + row[store.RowBytes() - 1];
        }
        if (store.Rows > 0) sink = sink + store.FindNearest(1, 3.5L);
    } else if constexpr (std::is_base_of_v<quillmar::TNumberStore, S>) {
        for (uint32_t i = 1; i <= store.RecordCount && i <= 256; ++i)
            sink = sink + store.GetValueAt(i);
    }
    auto bytes = store.SaveToBytes();
    S again;
    again.ShowErrors = false;
    again.LoadFromBytes(bytes.data(), bytes.size(), "again.ecu"); // what we write we read back
    (void)sink;
}

// Loads the bytes from a pipe and from memory: both fail, or both give the
// same bytes back.
void compareStreamed(const uint8_t* data, std::size_t size) {
    if (size > 60000) return; // the pipe holds it without a reader
    int fds[2];
    if (::pipe(fds) != 0) return;
    std::size_t at = 0;
    while (at < size) {
        const ssize_t n = ::write(fds[1], data + at, size - at);
        if (n <= 0) break;
        at += static_cast<std::size_t>(n);
    }
    ::close(fds[1]);
    quillmar::TNumber2DArrayStore fromPipe, fromMemory;
    fromPipe.ShowErrors = fromMemory.ShowErrors = false;
    bool pipeOk = true, memoryOk = true;
    try {
        fromPipe.LoadFromFile("/proc/self/fd/" + std::to_string(fds[0]));
    } catch (const quillmar::FileError&) {
        pipeOk = false;
    }
    ::close(fds[0]);
    try {
        fromMemory.LoadFromBytes(data, size, "fuzz.ecu");
    } catch (const quillmar::FileError&) {
        memoryOk = false;
    }
    if (pipeOk != memoryOk) std::abort();
    if (pipeOk && (fromPipe.SaveToBytes() != fromMemory.SaveToBytes() ||
                   fromPipe.LoadWarning.empty() != fromMemory.LoadWarning.empty()))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    compareStreamed(data, size);
    quillmar::TNumber2DArrayStore log;
    exercise(log, data, size);
    quillmar::TStore raw;
    exercise(raw, data, size);
    quillmar::TNumberStore numbers;
    exercise(numbers, data, size);
    quillmar::TxyDataStruct series;
    exercise(series, data, size);
    if (series.Points > 0 && series.Points <= 64) {
        for (uint32_t i = 1; i <= series.Points; ++i)
            (void)series.GetY(i);
        series.SortByX();
    }
    return 0;
}
