#pragma once
// Shared by the store tests: a messenger that records, and a scratch folder.

#include "store/base/Messages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace quillmar::test {

struct RecordingMessenger : Messenger {
    std::vector<std::string> seen;
    Messenger* previous;
    RecordingMessenger() : previous(setMessenger(this)) {}
    ~RecordingMessenger() override { setMessenger(previous); }
    Answer ask(const std::string& caption, const std::string& text, Buttons) override {
        seen.push_back(caption + "|" + text);
        return Answer::Ok;
    }
};

struct ScratchDir {
    std::filesystem::path path;
    ScratchDir() {
        static int n = 0;
        path = std::filesystem::temp_directory_path() /
               ("quillmar-store-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

inline std::vector<uint8_t> readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void put32(std::vector<uint8_t>& b, std::size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i, v >>= 8)
        b[at + i] = static_cast<uint8_t>(v);
}

inline uint32_t get32(const std::vector<uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

} // namespace quillmar::test
