#pragma once
// The export commands the frame runs or hands to the windows: the dataset
// exports of the acquisition window's dataset and the text file export of
// the graph window. (The graph's workbook export needs no window:
// ExportGraphToWorkbook in app/sheet/SheetExports.h.)

#include "app/sheet/ExportTables.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QObject;
class QWidget;

namespace quillmar {

class TALDLLog;
class TExcelApp;

// The spreadsheet connection a window holds for its exports: made on first
// use for the real desktop and freed with the window.
TExcelApp& ExcelAppOf(QObject& window);
// Gives window a connection of its own (tests: a desktop that opens nothing).
void SetExcelApp(QObject& window, std::unique_ptr<TExcelApp> app);

// The status bar's word on where an exported workbook went ("Workbook saved
// as ~/Documents/Quillmar/Dataset 0.xlsx").
std::string WorkbookStatusText(const std::string& path);

// "Export Data to Excel": does nothing while logging or without a dataset with
// rows. Otherwise connects app ("Excel not installed", caption "Error", and
// nothing else when there is no spreadsheet application) and, under the
// hourglass, builds the dataset table, puts it on the clipboard, pastes it at
// cell A1 of a new workbook named after the dataset and activates it. Cursor
// and connection are released on every path; a failure reaches the user with
// its own message. Returns the workbook's path for the status bar.
std::optional<std::string> ExportDatasetToExcel(TExcelApp& app, const TParameterArray& params,
                                                const TALDLLog* dataset, bool logging,
                                                const std::string& decimalSeparator = UserDecimalSeparator());

// The save dialog of the text export: "Export Ascii Data", *.txt, asks before
// replacing a file. Nothing when the user cancels.
std::optional<std::string> AskAsciiFileName(QWidget* parent);

// "Export Data to &ASCII file": nothing without a curve; else asks for the
// file (askFileName) and writes the graph table there. True when written.
bool ExportGraphDataToAsciiFile(
    QWidget* parent, const GraphExport& graph,
    const std::function<std::optional<std::string>(QWidget*)>& askFileName = AskAsciiFileName,
    const std::string& decimalSeparator = UserDecimalSeparator());

// The save dialog of the CSV export: "Export Data to CSV", *.csv, asks
// before replacing a file. Nothing when the user cancels.
std::optional<std::string> AskCsvFileName(QWidget* parent);

// "Export Data to CSV...": nothing while logging or without a dataset with
// rows; else asks for the file and writes the dataset there as CSV. A file
// that cannot be written is named in a message (caption "Error"). Returns the
// file written.
std::optional<std::string> ExportDatasetToCsvFile(
    QWidget* parent, const TParameterArray& params, const TALDLLog* dataset, bool logging,
    const std::function<std::optional<std::string>(QWidget*)>& askFileName = AskCsvFileName);

} // namespace quillmar
