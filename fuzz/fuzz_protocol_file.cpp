// Arbitrary bytes as "M100 ALDL protocol.ini": loaded and checked as the
// program starts with it, then used as the acquisition cycle uses a table
// (bit names, the name list, decoding and formatting every entry) and written
// back, which must read again to the same entries.
#include "acquisition/params/IniFile.h"
#include "acquisition/params/Parameters.h"
#include "acquisition/params/ProtocolFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

// The folder the inputs are written into; removed when the fuzzer ends.
char* fuzzFolder = nullptr;

const std::string& protocolPath() {
    static const std::string path = [] {
        // Memory-backed where there is such a folder: every input is written
        // to a file, and a disk-backed /tmp costs more than the parsing.
        static char inMemory[] = "/dev/shm/quillmar-fuzz-protocol-XXXXXX";
        static char onDisk[] = "/tmp/quillmar-fuzz-protocol-XXXXXX";
        fuzzFolder = ::mkdtemp(inMemory);
        if (!fuzzFolder) fuzzFolder = ::mkdtemp(onDisk);
        if (!fuzzFolder) std::abort();
        std::atexit([] {
            ::unlink((std::string(fuzzFolder) + "/" + quillmar::ProtocolFileName).c_str());
            ::rmdir(fuzzFolder);
        });
        return std::string(fuzzFolder) + "/" + quillmar::ProtocolFileName;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillmar;
    const std::string& path = protocolPath();
    {
        // A new file each time: truncating one makes the file system write
        // the old blocks out first, which costs more than all the rest.
        ::unlink(path.c_str());
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    TParameterArray table;
    std::string writeError;
    const TableCheck check = LoadCheckedParameters(path, table, &writeError, MissingTable::UseBuiltIn);
    if (!check.Ok) {
        if (check.Message.empty()) std::abort(); // a refusal always says why
        return 0;
    }
    FillBitNames(table);
    const std::vector<std::string> names = MakeParameterNames(table);
    const ParameterIndices indices = FindParameterIndices(names);
    const std::vector<TFlagDef> flags = MakeFlagDefs(table);
    (void)indices;
    (void)flags;
    uint8_t reply[ReplyLength];
    for (int k = 0; k < ReplyLength; ++k)
        reply[k] = uint8_t(k * 37 + 11);
    size_t text = 0;
    for (int i = 0; i < int(table.size()); ++i) {
        DecodeParameter(table, i, reply, sizeof reply);
        const TParameter& p = table[size_t(i)];
        text += ParameterLine(p, p.Value).size();
        for (size_t b = 0; b < p.BitNames.size(); ++b)
            text += BitLine(p.BitNames[b], BitIsOn(p.Value, int(b))).size();
    }
    (void)text;

    IniFile ini = IniFile::fromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    WriteParameters(ini, table);
    TParameterArray again;
    const TableCheck reread = ReadParameters(IniFile::fromBytes(ini.toBytes()), again, path);
    if (!reread.Ok || again.size() != table.size()) std::abort();
    for (size_t i = 0; i < table.size(); ++i) {
        const TParameter &was = table[i], &is = again[i];
        if (is.Position != was.Position || is.Size != was.Size || is.Signed != was.Signed ||
            is.Flags != was.Flags || is.Icon != was.Icon)
            std::abort();
    }
    return 0;
}
