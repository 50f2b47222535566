#pragma once
// The graph window's two exports: "Export data to &Excel" (the graph table
// cell by cell into a new workbook) and "Export Data to &ASCII file" (the
// same table as a tab-separated text file).

#include "app/sheet/ExportTables.h"

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace quillmar {

class TGraph;

// The graph's title lines and its curves as the exports take them (pointing
// into the curves' series).
GraphExport GraphExportFromCurves(TGraph& graph);

// Hands both exports below to graph's "Export Data to &ASCII file" and
// "Export data to &Excel".
void InstallGraphExports(TGraph& graph);

// Nothing when the graph shows no curve (CurveIsPresent). Otherwise the
// workbook export through the graph window's spreadsheet connection
// (ExcelAppOf); its status bar, when it has one, says where the workbook
// went. Returns the workbook's path.
std::optional<std::string> ExportGraphToExcel(TGraph& graph);

// Nothing when the graph shows no curve. Otherwise asks for the file and
// writes the graph table there; true when it was written.
bool ExportGraphToAsciiFile(TGraph& graph,
                            const std::function<std::optional<std::string>(QWidget*)>& askFileName = {});

} // namespace quillmar
