#pragma once
// Small datasets, a scratch folder and a desktop that opens nothing.

#include "app/sheet/Spreadsheet.h"
#include "store/base/Messages.h"
#include "store/dataset/ALDLLog.h"
#include "tests/support/ScriptedMessenger.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quillmar::testing {

// A table of three entries: "Engine speed" (data byte 11, x 25, "RPM"),
// "Coolant temp." (byte 6, x 0.75 - 40, "°C") and the flag entry "Flags 30".
std::shared_ptr<const TParameterArray> threeEntryTable();

// A dataset of that table whose rows hold the given times, engine speed bytes
// and coolant bytes.
struct Row {
    double time;
    uint8_t engineSpeed;
    uint8_t coolant;
};
std::unique_ptr<TALDLLog> makeLog(std::shared_ptr<const TParameterArray> table, const std::vector<Row>& rows);

// A fresh folder removed at the end of the scope.
struct TempDir {
    std::filesystem::path path;
    TempDir();
    ~TempDir();
    std::string file(const std::string& name) const { return (path / name).string(); }
    std::vector<std::string> names() const; // sorted file names, dot files too
};

// A desktop with (or without) a spreadsheet program whose opening is only
// recorded, and workbooks going to folder.
struct FakeDesktop {
    bool hasProgram = true;
    std::string folder;
    std::vector<std::string> opened;
    // Called as a workbook is opened (what the screen shows then).
    std::function<void()> whileOpening;
    SpreadsheetEnvironment environment();
};

} // namespace quillmar::testing
