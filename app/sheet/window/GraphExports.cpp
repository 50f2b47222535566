#include "app/sheet/window/GraphExports.h"

#include "app/sheet/SheetExports.h"
#include "app/sheet/graph/GraphExportFromCurves.h"
#include "app/sheet/window/SheetCommands.h"
#include "graph/window/Graph.h"

#include <QStatusBar>

namespace quillmar {

void InstallGraphExports(TGraph& graph) {
    graph.setExportCommands([&graph] { ExportGraphToAsciiFile(graph); },
                            [&graph] { ExportGraphToExcel(graph); });
}

GraphExport GraphExportFromCurves(TGraph& graph) {
    return GraphExportFromCurves(graph.Axes(), graph.Curves());
}

std::optional<std::string> ExportGraphToExcel(TGraph& graph) {
    if (!graph.CurveIsPresent()) return std::nullopt;
    const std::optional<std::string> path =
        ExportGraphToWorkbook(ExcelAppOf(graph), GraphExportFromCurves(graph));
    if (path && graph.statusBar())
        graph.statusBar()->showMessage(QString::fromStdString(WorkbookStatusText(*path)));
    return path;
}

bool ExportGraphToAsciiFile(TGraph& graph,
                            const std::function<std::optional<std::string>(QWidget*)>& askFileName) {
    if (!graph.CurveIsPresent()) return false;
    return ExportGraphDataToAsciiFile(&graph, GraphExportFromCurves(graph),
                                      askFileName ? askFileName : AskAsciiFileName);
}

} // namespace quillmar
