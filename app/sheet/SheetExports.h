#pragma once
// The export commands without their windows: what the graph window and the
// command line call. Messages go through the messenger.

#include "app/sheet/ExportTables.h"

#include <optional>
#include <string>

namespace quillmar {

class TExcelApp;
class TALDLLog;

// The graph's workbook export: connects app ("Excel not installed", caption
// "Error", when there is no spreadsheet application), writes the graph table
// into a new workbook named after the graph's title and activates it when
// there is at least one point. Returns the workbook's path; nothing when the
// graph has no curve or no point, or after a failure the user was told of.
// app is disconnected again in every case.
std::optional<std::string> ExportGraphToWorkbook(TExcelApp& app, const GraphExport& graph);

// The text file export to path, once the user has chosen it: no file when
// every curve is empty; "Could not create file" or "Error writing to file"
// (caption "Error") when the file cannot be made or written. True when the
// file was written.
bool ExportGraphToTextFile(const std::string& path, const GraphExport& graph,
                           std::string_view decimalSeparator);

// The dataset table as a workbook at path (numbers as numbers), as the
// dataset export leaves it in the spreadsheet. Throws SheetError.
void WriteDatasetWorkbook(const std::string& path, const TParameterArray& params, const TALDLLog& log);

// The dataset as a CSV file at path (WriteDatasetCsv), replacing a file of
// that name only once the new one is complete. Throws FileError.
void WriteDatasetCsvFile(const std::string& path, const TParameterArray& params, const TALDLLog& log);

// Message texts of the exports.
inline constexpr const char* ExcelNotInstalledText = "Excel not installed";
inline constexpr const char* CouldNotCreateFileText = "Could not create file";
inline constexpr const char* ErrorWritingFileText = "Error writing to file";

} // namespace quillmar
