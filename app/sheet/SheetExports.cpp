#include "app/sheet/SheetExports.h"

#include "app/sheet/Spreadsheet.h"
#include "store/base/AtomicFile.h"
#include "store/base/Messages.h"
#include "store/dataset/ALDLLog.h"

namespace quillmar {

namespace {

// Disconnects the application however the export ends.
class Connection {
public:
    explicit Connection(TExcelApp& app) : app_(app) {}
    ~Connection() { app_.Disconnect(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

private:
    TExcelApp& app_;
};

} // namespace

std::optional<std::string> ExportGraphToWorkbook(TExcelApp& app, const GraphExport& graph) {
    if (graph.Curves.empty()) return std::nullopt;
    if (!app.Connect()) {
        showMessage("Error", ExcelNotInstalledText);
        return std::nullopt;
    }
    Connection connection(app);
    try {
        TWorkbook& book = app.AddWorkbook(graph.WorkbookName());
        if (FillGraphSheet(book.Worksheets(1), graph) < 1) return std::nullopt;
        return book.Activate();
    } catch (const std::exception& e) {
        showMessage("Error", e.what());
        return std::nullopt;
    }
}

bool ExportGraphToTextFile(const std::string& path, const GraphExport& graph,
                           std::string_view decimalSeparator) {
    switch (WriteGraphTextFile(path, graph, decimalSeparator)) {
    case GraphTextResult::Written:
        return true;
    case GraphTextResult::NoPoints:
        return false;
    case GraphTextResult::CannotCreate:
        showMessage("Error", CouldNotCreateFileText);
        return false;
    case GraphTextResult::WriteFailed:
        showMessage("Error", ErrorWritingFileText);
        return false;
    }
    return false;
}

void WriteDatasetWorkbook(const std::string& path, const TParameterArray& params, const TALDLLog& log) {
    TWorkbook book(log.DatasetName());
    FillDatasetSheet(book.Worksheets(1), params, log);
    book.SaveAs(path);
}

void WriteDatasetCsvFile(const std::string& path, const TParameterArray& params, const TALDLLog& log) {
    WriteFileAtomically(path, DatasetCsvText(params, log));
}

} // namespace quillmar
