#include "app/sheet/Spreadsheet.h"

#include <algorithm>
#include <charconv>

namespace quillmar {

namespace {

bool isSpace(char c) {
    return c == ' ';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Calls f(row offset, field start, field) for every field of tab-separated text.
template <typename F> void forEachField(std::string_view text, F&& f) {
    uint32_t line = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view l = text.substr(pos, end - pos);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        uint32_t field = 0;
        size_t start = 0;
        for (;;) {
            const size_t tab = l.find('\t', start);
            f(line, field,
              l.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
            if (tab == std::string_view::npos) break;
            start = tab + 1;
            ++field;
        }
        ++line;
        pos = end + 1;
    }
}

} // namespace

std::string CellName(uint32_t row, uint32_t column) {
    std::string letters;
    for (uint32_t c = column; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}

const std::string& TCell::Text() const {
    static const std::string none;
    return IsText() ? std::get<std::string>(value_) : none;
}

TCell& TWorksheet::Item(uint32_t row, uint32_t column) {
    if (row < 1 || row > MaxSheetRows || column < 1 || column > MaxSheetColumns)
        throw SheetError("Cell (" + std::to_string(row) + ", " + std::to_string(column) +
                         ") lies outside a worksheet (" + std::to_string(MaxSheetRows) + " rows, " +
                         std::to_string(MaxSheetColumns) + " columns)");
    if (rows_.size() < row) rows_.resize(row);
    auto& cells = rows_[row - 1];
    if (cells.size() < column) cells.resize(column);
    return cells[column - 1];
}

const TCell* TWorksheet::Find(uint32_t row, uint32_t column) const {
    if (row < 1 || row > rows_.size()) return nullptr;
    const auto& cells = rows_[row - 1];
    if (column < 1 || column > cells.size()) return nullptr;
    return &cells[column - 1];
}

const std::vector<TCell>& TWorksheet::Row(uint32_t row) const {
    static const std::vector<TCell> none;
    return row >= 1 && row <= rows_.size() ? rows_[row - 1] : none;
}

std::optional<double> ParseSheetNumber(std::string_view field, std::string_view decimalSeparator) {
    while (!field.empty() && isSpace(field.front()))
        field.remove_prefix(1);
    while (!field.empty() && isSpace(field.back()))
        field.remove_suffix(1);
    std::string s;
    size_t i = 0;
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) {
        if (field[i] == '-') s += '-';
        ++i;
    }
    size_t digits = 0;
    while (i < field.size() && isDigit(field[i]))
        s += field[i++], ++digits;
    if (!decimalSeparator.empty() && field.substr(i, decimalSeparator.size()) == decimalSeparator) {
        s += '.';
        i += decimalSeparator.size();
        while (i < field.size() && isDigit(field[i]))
            s += field[i++], ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < field.size() && (field[i] == 'E' || field[i] == 'e')) {
        s += 'e';
        ++i;
        if (i < field.size() && (field[i] == '-' || field[i] == '+')) s += field[i++];
        size_t expDigits = 0;
        while (i < field.size() && isDigit(field[i]))
            s += field[i++], ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (i != field.size()) return std::nullopt;
    double v = 0;
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

void TWorksheet::Paste(std::string_view text, uint32_t row, uint32_t column,
                       std::string_view decimalSeparator) {
    if (row < 1 || column < 1) throw SheetError("Paste needs a destination cell counted from 1");
    // Check the extent first, so a table too large for a worksheet changes nothing.
    uint64_t lastRow = 0, lastColumn = 0;
    forEachField(text, [&](uint32_t line, uint32_t field, std::string_view value) {
        if (value.empty()) return;
        lastRow = std::max<uint64_t>(lastRow, uint64_t(row) + line);
        lastColumn = std::max<uint64_t>(lastColumn, uint64_t(column) + field);
    });
    if (lastRow > MaxSheetRows || lastColumn > MaxSheetColumns)
        throw SheetError("The table does not fit on a worksheet: it needs " + std::to_string(lastRow) +
                         " rows and " + std::to_string(lastColumn) + " columns, a worksheet has " +
                         std::to_string(MaxSheetRows) + " rows and " + std::to_string(MaxSheetColumns) +
                         " columns");
    forEachField(text, [&](uint32_t line, uint32_t field, std::string_view value) {
        const uint32_t r = row + line, c = column + field;
        if (value.empty()) {
            if (r <= MaxSheetRows && c <= MaxSheetColumns && Find(r, c)) Item(r, c).Clear();
            return;
        }
        if (auto number = ParseSheetNumber(value, decimalSeparator))
            Item(r, c) = *number;
        else
            Item(r, c) = std::string(value);
    });
}

TWorkbook::TWorkbook(std::string name) : name_(std::move(name)) {}

TWorksheet& TWorkbook::Worksheets(int index) {
    if (index != 1)
        throw SheetError("A new workbook has one worksheet; there is no worksheet " + std::to_string(index));
    return sheet_;
}

const TWorksheet& TWorkbook::Worksheets(int index) const {
    return const_cast<TWorkbook*>(this)->Worksheets(index);
}

std::string TWorkbook::Activate() {
    if (!app_ || !app_->program_) throw SheetError("No spreadsheet application is connected");
    const std::string path = SaveWorkbookAsNew(*this, app_->environment_.WorkbookFolder());
    try {
        app_->environment_.Open(*app_->program_, path);
    } catch (const std::exception& e) {
        throw SheetError(std::string(e.what()) + "; the workbook was saved as " + path);
    }
    return path;
}

SpreadsheetEnvironment DesktopSpreadsheetEnvironment() {
    SpreadsheetEnvironment env;
    env.FindProgram = [] { return FindSpreadsheetProgram(DesktopProgramLookup()); };
    env.Open = [](const SpreadsheetProgram& program, const std::string& file) {
        OpenDetached(program.CommandFor(file));
    };
    env.WorkbookFolder = [] { return FindDocumentsFolder(DesktopDocumentsLookup()) + "/Quillmar"; };
    return env;
}

TExcelApp::TExcelApp(SpreadsheetEnvironment environment) : environment_(std::move(environment)) {}

TExcelApp::~TExcelApp() = default;

bool TExcelApp::Connect() {
    if (!program_ && environment_.FindProgram) program_ = environment_.FindProgram();
    return program_.has_value();
}

TWorkbook& TExcelApp::AddWorkbook(const std::string& name) {
    if (!program_) throw SheetError("No spreadsheet application is connected");
    books_.push_back(std::make_unique<TWorkbook>(name));
    books_.back()->app_ = this;
    return *books_.back();
}

void TExcelApp::Disconnect() {
    books_.clear();
    program_.reset();
}

} // namespace quillmar
