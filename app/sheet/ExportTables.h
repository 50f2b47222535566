#pragma once
// The tables the exports hand out: the dataset table (tab-separated text for
// the workbook and the command line), the graph table (cells of a workbook,
// or a tab-separated text file) and the dataset as CSV.

#include "acquisition/params/ParameterTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmar {

class TALDLLog;
class TWorksheet;
class TxyDataStruct;

// ---- numbers -----------------------------------------------------------

// The decimal separator of the user's locale (LC_ALL, LC_NUMERIC, LANG), "."
// when it cannot be told.
std::string UserDecimalSeparator();

// FormatGeneral's digits (15 significant, fixed or "1E-6" scientific) with
// the decimal point replaced by decimalSeparator.
std::string FormatExportNumber(double value, std::string_view decimalSeparator);

// ---- dataset table -----------------------------------------------------

// Follows the building of the dataset table: Start once before the data rows
// with the number of values to come, Step once for every value added.
struct TableProgress {
    std::function<void(uint64_t maximum)> Start;
    std::function<void()> Step;
};

// The number of values of the dataset table: (entries - 1 + user channels)
// x rows.
uint64_t DatasetTableValueCount(const TParameterArray& params, const TALDLLog& log);

// The dataset table: "Time" and the Name of every entry but the last, then
// "s" and their Units, then per row its time and the entries' values. The
// dataset's user channels follow as the last columns (a row without a value
// is an empty cell); without them the table is as it always was. Every
// cell is followed by a tab, every line by CR LF; numbers as
// FormatExportNumber with decimalSeparator. Handed to sink in pieces of
// about chunkBytes, so a long dataset never sits in memory as one text.
void WriteDatasetTable(const TParameterArray& params, const TALDLLog& log, std::string_view decimalSeparator,
                       const std::function<void(const std::string&)>& sink,
                       const TableProgress* progress = nullptr, size_t chunkBytes = 1 << 16);
// The whole table as one text.
std::string DatasetTableText(const TParameterArray& params, const TALDLLog& log,
                             std::string_view decimalSeparator, const TableProgress* progress = nullptr);

// The dataset table pasted at cell A1 of sheet: the cells a spreadsheet gets
// from the dataset export.
void FillDatasetSheet(TWorksheet& sheet, const TParameterArray& params, const TALDLLog& log);

// ---- dataset CSV -------------------------------------------------------

// The header cell of an entry: display name, then " (Units)" when it has units
// and is no flag entry.
std::string CsvColumnName(const TParameter& p);

// A CSV field: quoted (with its quotes doubled) when it holds a comma, a
// quote or a line break, or starts or ends with a blank; as it is otherwise.
std::string CsvCell(const std::string& text);

// The dataset as CSV for other analysis tools: a header row "Time (s)" and
// CsvColumnName of every entry (but a derived "Time" entry, which would
// repeat the first column) and of the dataset's user channels ("Name (Unit)"),
// then per row its time and those columns' values.
// Comma separated, '.' decimal point, 15 significant digits, UTF-8,
// CR LF line ends; cells with a comma, quote, line break or surrounding
// spaces are quoted. A value that is not a number (NAN) is an empty cell.
// Handed to sink in pieces of about chunkBytes.
void WriteDatasetCsv(const TParameterArray& params, const TALDLLog& log,
                     const std::function<void(const std::string&)>& sink, size_t chunkBytes = 1 << 16);
std::string DatasetCsvText(const TParameterArray& params, const TALDLLog& log);

// ---- graph table -------------------------------------------------------

// One curve of a graph as the exports see it: its name, the captions and
// units of the x axis and of its own y axis, and its points, either in a
// series it does not own or in Points.
struct GraphCurveExport {
    std::string CurveName;
    std::string XLabel, XUnits;
    std::string YLabel, YUnits;
    const TxyDataStruct* Data = nullptr; // used when set
    std::vector<std::pair<double, double>> Points;

    uint32_t PointCount() const;
    // Point i, counted from 1.
    double X(uint32_t i) const;
    double Y(uint32_t i) const;
};

// A graph's title lines and its curves in list order.
struct GraphExport {
    std::string Line1, Line2;
    std::vector<GraphCurveExport> Curves;

    // The largest point count of all curves (P).
    uint32_t MaxPoints() const;
    // The name of the workbook: the first title line that is not blank.
    std::string WorkbookName() const;
};

// The graph table in sheet: title lines in rows 1 and 2 of column 1; curve j
// in columns 3j+1 and 3j+2 with its name (row 4), captions (5), units (6) and
// its points as numbers from row 7 on; column 3j+3 stays empty. Text cells
// that would be empty are not written. Returns P.
uint32_t FillGraphSheet(TWorksheet& sheet, const GraphExport& graph);

// The same table as tab-separated text: lines 1 to 3 the title block, line 4
// every curve's name followed by three tabs, lines 5, 6 and the data lines a
// curve's two cells joined by a tab and curves joined by two tabs (two empty
// cells for a curve without the point), no tab after the last cell. CR LF
// line ends; numbers as FormatExportNumber with decimalSeparator.
std::string GraphTableText(const GraphExport& graph, std::string_view decimalSeparator);

enum class GraphTextResult {
    Written,      // the file holds the table
    NoPoints,     // every curve is empty: no file was created
    CannotCreate, // "Could not create file"
    WriteFailed,  // "Error writing to file"
};

// Writes GraphTableText to path, replacing an existing file only once the new
// one is complete.
GraphTextResult WriteGraphTextFile(const std::string& path, const GraphExport& graph,
                                   std::string_view decimalSeparator);

} // namespace quillmar
