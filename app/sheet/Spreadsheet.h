#pragma once
// The spreadsheet the exports hand their tables to. TExcelApp finds the
// desktop's application for .xlsx files; a workbook's first worksheet takes
// text and numbers cell by cell (Item) or as pasted tab-separated text
// (Paste); Activate writes the workbook as an .xlsx file into the user's
// documents folder and opens it in that application, which keeps running on
// its own after the export.

#include "app/sheet/SpreadsheetProgram.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quillmar {

// A failed spreadsheet operation; what() is the message for the user.
class SheetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The largest worksheet an .xlsx file holds.
inline constexpr uint32_t MaxSheetRows = 1048576;
inline constexpr uint32_t MaxSheetColumns = 16384;

// "A1" style name of a cell (1-based row and column).
std::string CellName(uint32_t row, uint32_t column);

// One cell's value: empty, text (UTF-8) or a number.
class TCell {
public:
    TCell& operator=(double number) {
        value_ = number;
        return *this;
    }
    TCell& operator=(std::string text) {
        value_ = std::move(text);
        return *this;
    }
    TCell& operator=(const char* text) { return *this = std::string(text); }
    void Clear() { value_ = std::monostate{}; }

    bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
    bool IsNumber() const { return std::holds_alternative<double>(value_); }
    bool IsText() const { return std::holds_alternative<std::string>(value_); }
    double Number() const { return IsNumber() ? std::get<double>(value_) : 0.0; }
    const std::string& Text() const;

private:
    std::variant<std::monostate, std::string, double> value_;
};

class TWorksheet {
public:
    // The cell at row and column, both counted from 1. Throws SheetError
    // outside MaxSheetRows x MaxSheetColumns.
    TCell& Item(uint32_t row, uint32_t column);
    // The cell if it was ever touched, else nullptr.
    const TCell* Find(uint32_t row, uint32_t column) const;

    // Tab-separated text, lines ending in CR LF or LF, lands in the cells
    // from (row, column) on: one line per row, one cell per tab-separated
    // field, an empty field clears its cell. A field that reads completely as
    // a number written with decimalSeparator becomes a number, any other
    // field text. Throws SheetError, leaving the sheet as it was, when the
    // text reaches past the last row or column of a worksheet.
    void Paste(std::string_view text, uint32_t row, uint32_t column, std::string_view decimalSeparator);

    // Rows in use (the last row holding a touched cell).
    uint32_t RowCount() const { return static_cast<uint32_t>(rows_.size()); }
    // Cells of row (1-based) up to its last touched one; empty past RowCount.
    const std::vector<TCell>& Row(uint32_t row) const;

private:
    std::vector<std::vector<TCell>> rows_;
};

// The number a pasted field stands for: optional sign, digits with at most one
// decimal separator, optional exponent (E or e, optional sign, digits);
// surrounding spaces are allowed. Nothing for any other text and for numbers
// beyond the range of a double.
std::optional<double> ParseSheetNumber(std::string_view field, std::string_view decimalSeparator);

class TExcelApp;

class TWorkbook {
public:
    // A workbook on its own (no application): it can be saved, not activated.
    explicit TWorkbook(std::string name);

    const std::string& Name() const { return name_; }
    // Worksheet index, counted from 1; a new workbook has one worksheet.
    TWorksheet& Worksheets(int index = 1);
    const TWorksheet& Worksheets(int index = 1) const;

    // Writes the workbook as an .xlsx file at path, replacing a file of that
    // name only once the new one is complete. Throws SheetError.
    void SaveAs(const std::string& path) const;

    // Writes the workbook into the "Quillmar" folder of the user's documents
    // folder, named after the workbook and never replacing a file there
    // ("Dataset 0.xlsx", "Dataset 0 (2).xlsx", ...), and opens it in the
    // application. Returns the file's path. Throws SheetError.
    std::string Activate();

private:
    friend class TExcelApp;
    std::string name_;
    TWorksheet sheet_;
    TExcelApp* app_ = nullptr;
};

// How the layer reaches the desktop; replaced by tests.
struct SpreadsheetEnvironment {
    // The application for .xlsx files, or nothing.
    std::function<std::optional<SpreadsheetProgram>()> FindProgram;
    // Opens file in program, detached. Throws SheetError.
    std::function<void(const SpreadsheetProgram& program, const std::string& file)> Open;
    // The folder the workbooks go into.
    std::function<std::string()> WorkbookFolder;
};

// The real desktop: FindSpreadsheetProgram, OpenDetached, and the "Quillmar"
// folder in the user's documents folder.
SpreadsheetEnvironment DesktopSpreadsheetEnvironment();

class TExcelApp {
public:
    explicit TExcelApp(SpreadsheetEnvironment environment = DesktopSpreadsheetEnvironment());
    ~TExcelApp();
    TExcelApp(const TExcelApp&) = delete;
    TExcelApp& operator=(const TExcelApp&) = delete;

    // Finds the application; false when there is none (nothing else happens).
    bool Connect();
    bool Connected() const { return program_.has_value(); }
    const SpreadsheetProgram* Program() const { return program_ ? &*program_ : nullptr; }

    // A new workbook named after what it holds (a dataset's name, a graph's
    // title). Throws SheetError when not connected.
    TWorkbook& AddWorkbook(const std::string& name);

    // Forgets the workbooks; an application already opened keeps running.
    void Disconnect();

private:
    friend class TWorkbook;
    SpreadsheetEnvironment environment_;
    std::optional<SpreadsheetProgram> program_;
    std::vector<std::unique_ptr<TWorkbook>> books_;
};

// Writes book into folder as "<name>.xlsx", or "<name> (2).xlsx" and so on
// when that exists, without ever replacing a file. Returns the path.
std::string SaveWorkbookAsNew(const TWorkbook& book, const std::string& folder);

// A workbook name made safe as a file name: no '/', no control characters, no
// leading dot, at most 200 bytes; "Workbook" when nothing is left.
std::string WorkbookFileStem(const std::string& name);

} // namespace quillmar
