#include "tests/sheet/SheetTestSupport.h"

#include <algorithm>
#include <unistd.h>

namespace quillmar::testing {

std::shared_ptr<const TParameterArray> threeEntryTable() {
    TParameterArray t(3);
    t[0].Name = "Engine speed";
    t[0].Position = 11;
    t[0].Size = 1;
    t[0].Factor = 25;
    t[0].FormatAs = "%5.1f";
    t[0].Units = "RPM";
    t[1].Name = "Coolant temp.";
    t[1].Position = 6;
    t[1].Size = 1;
    t[1].Factor = 0.75;
    t[1].Offset = -40;
    t[1].FormatAs = "%5.1f";
    t[1].Units = "\xC2\xB0"
                 "C";
    t[2].Name = "Flags 30\xC2\xA6Throttle>0\xC2\xA6"
                "bit 1\xC2\xA6"
                "bit 2\xC2\xA6"
                "bit 3\xC2\xA6Throttle=0"
                "\xC2\xA6"
                "bit 5\xC2\xA6"
                "bit 6\xC2\xA6"
                "At idle";
    t[2].Position = 30;
    t[2].Size = 1;
    t[2].Factor = 1;
    t[2].FormatAs = "%x";
    t[2].Flags = true;
    return std::make_shared<const TParameterArray>(std::move(t));
}

std::unique_ptr<TALDLLog> makeLog(std::shared_ptr<const TParameterArray> table,
                                  const std::vector<Row>& rows) {
    auto log = std::make_unique<TALDLLog>(std::move(table));
    log->SetRows(static_cast<uint32_t>(rows.size()));
    for (uint32_t r = 1; r <= rows.size(); ++r) {
        uint8_t data[ReplyLength] = {};
        data[11 - 1] = rows[r - 1].engineSpeed;
        data[6 - 1] = rows[r - 1].coolant;
        data[30 - 1] = 0x11;
        log->WriteRow(r, data, rows[r - 1].time);
        log->Derived[TimeSlot][r] = rows[r - 1].time;
    }
    return log;
}

TempDir::TempDir() {
    static int counter = 0;
    path = std::filesystem::temp_directory_path() /
           ("quillmar-sheet-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(path);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::vector<std::string> TempDir::names() const {
    std::vector<std::string> n;
    for (const auto& e : std::filesystem::directory_iterator(path))
        n.push_back(e.path().filename().string());
    std::sort(n.begin(), n.end());
    return n;
}

SpreadsheetEnvironment FakeDesktop::environment() {
    SpreadsheetEnvironment env;
    env.FindProgram = [this]() -> std::optional<SpreadsheetProgram> {
        if (!hasProgram) return std::nullopt;
        return SpreadsheetProgram{"Calc", {"/usr/bin/false", "%U"}, ""};
    };
    env.Open = [this](const SpreadsheetProgram&, const std::string& file) {
        if (whileOpening) whileOpening();
        opened.push_back(file);
    };
    env.WorkbookFolder = [this] { return folder; };
    return env;
}

} // namespace quillmar::testing
