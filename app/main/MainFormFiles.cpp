// The File commands: opening, saving, closing and exporting datasets, the
// PROM dump and the parameter table, and their file dialogs.
#include "app/main/MainForm.h"

#include "acquisition/Settings.h"
#include "acquisition/params/ProtocolFile.h"
#include "acquisition/window/CommsForm.h"
#include "app/sheet/window/SheetCommands.h"
#include "store/base/Messages.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace quillmar {

// ---- file dialogs ----------------------------------------------------------

namespace {

// A file dialog for one kind of file; a save dialog asks before replacing.
QFileDialog* makeFileDialog(QWidget* parent, const char* name, const QString& title, bool save,
                            const QString& filter, const QString& suffix) {
    auto* dialog = new QFileDialog(parent, title);
    dialog->setObjectName(name);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFiles);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(suffix);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    return dialog;
}

} // namespace

QFileDialog* TMainForm::makeLogOpenDialog() {
    QFileDialog* dialog =
        makeFileDialog(this, "FileOpen1Dialog", "Open", false, "ECU log files (*.ecu)", "ecu");
    if (!logFolder_.empty()) dialog->setDirectory(QString::fromStdString(logFolder_));
    return dialog;
}

QFileDialog* TMainForm::makeLogSaveDialog(const TALDLLog* dataset) {
    QFileDialog* dialog =
        makeFileDialog(this, "FileSaveAs1Dialog", "Save As", true, "ECU log files (*.ecu)", "ecu");
    if (!dataset) dataset = datasets_.CurrentDataset();
    if (!dataset) {
        if (!logFolder_.empty()) dialog->setDirectory(QString::fromStdString(logFolder_));
        return dialog;
    }
    // Its own file, in that file's folder; or a name of its start, in the
    // folder last used.
    const QFileInfo suggested(QString::fromStdString(SuggestedFileName(*dataset)));
    if (dataset->FileName.empty() && !logFolder_.empty())
        dialog->setDirectory(QString::fromStdString(logFolder_));
    else if (!dataset->FileName.empty())
        dialog->setDirectory(suggested.absolutePath());
    dialog->selectFile(suggested.fileName());
    return dialog;
}

QFileDialog* TMainForm::makePromSaveDialog() {
    return makeFileDialog(this, "PROMDumpDialog", "Dump PROM to BIN", true, "PROM binary (*.bin)", "bin");
}

std::optional<std::string> TMainForm::runLogSaveDialog(const TALDLLog* dataset) {
    std::unique_ptr<QFileDialog> dialog(makeLogSaveDialog(dataset));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    const QString file = dialog->selectedFiles().first();
    rememberLogFolder(file);
    return file.toStdString();
}

void TMainForm::rememberLogFolder(const QString& file) {
    const std::string folder = QFileInfo(file).absolutePath().toStdString();
    if (folder.empty() || folder == logFolder_) return;
    logFolder_ = folder;
    if (options_.App.KeepSettings()) return;
    std::unique_ptr<QSettings> settings = OpenSettings();
    StoreLogFolder(*settings, logFolder_);
    settings->sync();
}

void TMainForm::FileOpen1Execute() {
    std::unique_ptr<QFileDialog> dialog(makeLogOpenDialog());
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
    rememberLogFolder(dialog->selectedFiles().first());
    FileOpen1Accept(dialog->selectedFiles());
}

void TMainForm::FileOpen1Accept(const QStringList& files) {
    if (!commsForm_) return;
    std::vector<std::string> names;
    for (const QString& f : files)
        names.push_back(f.toStdString());
    datasets_.openLogs(names, commsForm_->acquisition().sharedParameters());
    commsForm_->refreshDataSetSelector();
    // The files that are open now go to the top of File > Open Recent.
    QStringList open;
    for (int i = 0; i < datasets_.Count(); ++i)
        if (const TALDLLog* log = datasets_.ReadLog(i); log && !log->FileName.empty())
            open << QFileInfo(QString::fromStdString(log->FileName)).absoluteFilePath();
    for (const QString& f : files)
        if (open.contains(QFileInfo(f).absoluteFilePath())) rememberRecentFile(f);
}

// ---- File > Open Recent and dropped files ------------------------------------

namespace {

QString recentFilesKey() {
    return QStringLiteral("%1/Recent files").arg(SettingsKey);
}

} // namespace

void TMainForm::readRecentFiles(QSettings& settings) {
    recentFiles_ = settings.value(recentFilesKey()).toStringList();
    recentFiles_.removeAll(QString());
    while (recentFiles_.size() > MaxRecentFiles)
        recentFiles_.removeLast();
    updateRecentMenu();
}

void TMainForm::rememberRecentFile(const QString& file) {
    const QString path = QFileInfo(file).absoluteFilePath();
    recentFiles_.removeAll(path);
    recentFiles_.prepend(path);
    while (recentFiles_.size() > MaxRecentFiles)
        recentFiles_.removeLast();
    updateRecentMenu();
    if (options_.App.KeepSettings()) return;
    std::unique_ptr<QSettings> settings = OpenSettings();
    settings->setValue(recentFilesKey(), recentFiles_);
    settings->sync();
}

void TMainForm::updateRecentMenu() {
    if (!RecentMenu) return;
    RecentMenu->clear();
    for (int i = 0; i < recentFiles_.size(); ++i) {
        const QString file = recentFiles_[i];
        QAction* item = RecentMenu->addAction(QString("&%1 %2").arg(i + 1).arg(QFileInfo(file).fileName()));
        item->setStatusTip(file);
        item->setToolTip(file);
        item->setData(file);
        connect(item, &QAction::triggered, this, [this, file] { OpenRecentFile(file); });
    }
    RecentMenu->setEnabled(!recentFiles_.isEmpty() && FileOpen1->isEnabled());
}

void TMainForm::OpenRecentFile(const QString& file) {
    // As File > Open does: not while logging.
    if (!FileOpen1->isEnabled()) return;
    FileOpen1Accept({file});
}

QStringList TMainForm::droppedLogFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && url.toLocalFile().endsWith(".ecu", Qt::CaseInsensitive))
            files << url.toLocalFile();
    return files;
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (FileOpen1->isEnabled() && !droppedLogFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMainForm::dropEvent(QDropEvent* event) {
    const QStringList files = droppedLogFiles(event->mimeData());
    if (!FileOpen1->isEnabled() || files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Opened once the drop is over (an unsaved recording may be asked about).
    QTimer::singleShot(0, this, [this, files] {
        if (FileOpen1->isEnabled()) FileOpen1Accept(files);
    });
}

void TMainForm::FileSaveActionExecute() {
    if (!commsForm_) return;
    TALDLLog* current = datasets_.CurrentDataset();
    const bool logging = datasets_.recording() != nullptr;
    // Written when it worked on a dataset with rows: to its file, or to the
    // one Save As gave it (a cancelled dialog leaves it without one).
    if (datasets_.saveDataset() && !logging && current && current->Rows > 0 && current->Saved &&
        !current->FileName.empty())
        showStatus(QString::fromStdString("Saved " + current->DatasetName() + " to " + current->FileName),
                   10000);
    commsForm_->refreshDataSetSelector();
}

void TMainForm::FileSaveAs1Execute() {
    if (datasets_.recording()) return;
    if (const std::optional<std::string> file = runLogSaveDialog(nullptr))
        FileSaveAs1Accept(QString::fromStdString(*file));
}

void TMainForm::FileSaveAs1Accept(const QString& fileName) {
    if (!commsForm_) return;
    if (datasets_.saveDatasetAs(fileName.toStdString()) && !fileName.isEmpty()) {
        TALDLLog* current = datasets_.CurrentDataset();
        if (current && current->Rows > 0 && current->Saved && current->FileName == fileName.toStdString())
            showStatus(QString::fromStdString("Saved " + current->DatasetName() + " to ") + fileName, 10000);
    }
    commsForm_->refreshDataSetSelector();
}

void TMainForm::CloseDataSetActionExecute() {
    if (!commsForm_) return;
    datasets_.closeDataset();
    commsForm_->refreshDataSetSelector();
}

void TMainForm::PROMDumpActionExecute() {
    std::unique_ptr<QFileDialog> dialog(makePromSaveDialog());
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        PROMDumpActionAccept(dialog->selectedFiles().first());
}

void TMainForm::PROMDumpActionAccept(const QString& fileName) {
    if (!commsForm_ || fileName.isEmpty()) return;
    if (commsForm_->DumpProm(fileName.toStdString())) promFile_ = fileName;
}

void TMainForm::ExportDataToExcelExecute() {
    if (!commsForm_) return;
    // The acquisition window's dataset, through that window's spreadsheet connection.
    Acquisition& acq = commsForm_->acquisition();
    if (const std::optional<std::string> path = ExportDatasetToExcel(
            ExcelAppOf(*commsForm_), acq.parameters(), commsForm_->CurrentDataset(), acq.logging()))
        showStatus(QString::fromStdString(WorkbookStatusText(*path)), 10000);
}

void TMainForm::ExportDataToCsvExecute() {
    if (!commsForm_) return;
    const TALDLLog* current = datasets_.CurrentDataset();
    const std::string name = current ? current->DatasetName() : std::string();
    Acquisition& acq = commsForm_->acquisition();
    if (const std::optional<std::string> file =
            ExportDatasetToCsvFile(commsForm_, acq.parameters(), commsForm_->CurrentDataset(), acq.logging()))
        showStatus(QString::fromStdString("Exported " + name + " to " + *file), 10000);
}

void TMainForm::CreateIniFileActionExecute() {
    if (!commsForm_) return;
    Acquisition& acq = commsForm_->acquisition();
    try {
        SaveIniFile(acq.iniPath(), acq.parameters());
    } catch (const std::exception& e) {
        showMessage("Error", e.what());
        return;
    }
    showStatus(QString("Wrote the parameter table (%1 parameters) to %2")
                   .arg(acq.parameterCount())
                   .arg(QString::fromStdString(acq.iniPath())),
               10000);
}

} // namespace quillmar
