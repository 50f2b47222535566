#include "app/sheet/window/SheetCommands.h"

#include "app/sheet/SheetExports.h"
#include "app/sheet/Spreadsheet.h"
#include "store/base/FileError.h"
#include "store/base/Messages.h"
#include "store/dataset/ALDLLog.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>

#include <memory>

namespace quillmar {

namespace {

// Holds a window's spreadsheet connection as a child object of the window.
class ExcelAppHolder : public QObject {
public:
    ExcelAppHolder(QObject& window, std::unique_ptr<TExcelApp> app) : QObject(&window), app(std::move(app)) {
        setObjectName("ExcelApp");
    }
    std::unique_ptr<TExcelApp> app;
};

ExcelAppHolder* holderOf(QObject& window) {
    for (QObject* child : window.children())
        if (auto* holder = dynamic_cast<ExcelAppHolder*>(child)) return holder;
    return nullptr;
}

} // namespace

TExcelApp& ExcelAppOf(QObject& window) {
    ExcelAppHolder* holder = holderOf(window);
    if (!holder) holder = new ExcelAppHolder(window, std::make_unique<TExcelApp>());
    return *holder->app;
}

void SetExcelApp(QObject& window, std::unique_ptr<TExcelApp> app) {
    if (ExcelAppHolder* holder = holderOf(window))
        holder->app = std::move(app);
    else
        new ExcelAppHolder(window, std::move(app));
}

std::string WorkbookStatusText(const std::string& path) {
    // The home folder as "~", so that the name fits the status bar.
    const std::string home = QDir::homePath().toStdString();
    if (home.size() > 1 && path.size() > home.size() + 1 && path.compare(0, home.size(), home) == 0 &&
        path[home.size()] == '/')
        return "Workbook saved as ~" + path.substr(home.size());
    return "Workbook saved as " + path;
}

namespace {

// Restores the cursor and disconnects, whatever way the export ends.
class ExportScope {
public:
    explicit ExportScope(TExcelApp& app) : app_(app) {}
    ~ExportScope() {
        if (cursor_) QGuiApplication::restoreOverrideCursor();
        app_.Disconnect();
    }
    ExportScope(const ExportScope&) = delete;
    ExportScope& operator=(const ExportScope&) = delete;

    void waitCursor() {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        cursor_ = true;
    }

private:
    TExcelApp& app_;
    bool cursor_ = false;
};

} // namespace

std::optional<std::string> ExportDatasetToExcel(TExcelApp& app, const TParameterArray& params,
                                                const TALDLLog* dataset, bool logging,
                                                const std::string& decimalSeparator) {
    if (logging || !dataset || dataset->Rows == 0) return std::nullopt;
    if (!app.Connect()) {
        showMessage("Error", ExcelNotInstalledText);
        return std::nullopt;
    }
    ExportScope scope(app);
    try {
        // The export runs in one go (an hour of logging takes a few seconds):
        // the hourglass says so, and no events are handled meanwhile.
        scope.waitCursor();
        const std::string text = DatasetTableText(params, *dataset, decimalSeparator);

        QGuiApplication::clipboard()->setText(QString::fromStdString(text));

        TWorkbook& book = app.AddWorkbook(dataset->DatasetName());
        book.Worksheets(1).Paste(text, 1, 1, decimalSeparator);
        return book.Activate();
    } catch (const std::exception& e) {
        showMessage("Error", e.what());
        return std::nullopt;
    }
}

namespace {

std::optional<std::string> askSaveFileName(QWidget* parent, const char* name, const char* title,
                                           const char* filter, const char* suffix) {
    QFileDialog dialog(parent, title);
    dialog.setObjectName(name);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

} // namespace

std::optional<std::string> AskAsciiFileName(QWidget* parent) {
    return askSaveFileName(parent, "SaveDialog1", "Export Ascii Data", "Ascii files (*.txt)", "txt");
}

std::optional<std::string> AskCsvFileName(QWidget* parent) {
    return askSaveFileName(parent, "CsvSaveDialog", "Export Data to CSV", "CSV files (*.csv)", "csv");
}

std::optional<std::string>
ExportDatasetToCsvFile(QWidget* parent, const TParameterArray& params, const TALDLLog* dataset, bool logging,
                       const std::function<std::optional<std::string>(QWidget*)>& askFileName) {
    if (logging || !dataset || dataset->Rows == 0) return std::nullopt;
    const auto path = askFileName(parent);
    if (!path) return std::nullopt;
    try {
        WriteDatasetCsvFile(*path, params, *dataset);
    } catch (const FileError& e) {
        showMessage("Error", e.what());
        return std::nullopt;
    }
    return path;
}

bool ExportGraphDataToAsciiFile(QWidget* parent, const GraphExport& graph,
                                const std::function<std::optional<std::string>(QWidget*)>& askFileName,
                                const std::string& decimalSeparator) {
    if (graph.Curves.empty()) return false;
    const auto path = askFileName(parent);
    if (!path) return false;
    return ExportGraphToTextFile(*path, graph, decimalSeparator);
}

} // namespace quillmar
