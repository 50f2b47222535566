// The dataset exports from the frame window's File menu and tool bar.

#include "tests/app/AppTestSupport.h"
#include "tests/sheet/SheetTestSupport.h"

#include "app/sheet/ExportTables.h"
#include "app/sheet/Spreadsheet.h"
#include "app/sheet/window/SheetCommands.h"
#include "store/dataset/ALDLLog.h"

#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QToolBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quillmar {
namespace {

using testing::FakeDesktop;
using testing::FrameFixture;
using testing::TempDir;

class FrameExportTest : public ::testing::Test, public FrameFixture {
protected:
    void SetUp() override {
        writeSettings();
        open();
        ASSERT_NE(frame->CommsForm(), nullptr);
        desktop.folder = dir.file("Quillmar");
        SetExcelApp(*frame->CommsForm(), std::make_unique<TExcelApp>(desktop.environment()));
    }
    // The export opens no window of its own: the frame is the only one.
    bool windowLeft() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != frame.get() && w->isVisible()) return true;
        return false;
    }
    TempDir dir;
    FakeDesktop desktop;
};

TEST_F(FrameExportTest, InTheFileMenuAndOnTheToolBarWhenThereIsADataset) {
    QStringList file;
    for (const QAction* a : frame->FileMenu->actions())
        file << (a->isSeparator() ? QString("-") : a->text());
    const qsizetype at = file.indexOf("Export Data to Excel");
    ASSERT_GE(at, 1);
    EXPECT_EQ(file.mid(at - 1, 4), QStringList({"-", "Export Data to Excel", "Export Data to CSV...", "-"}));
    EXPECT_TRUE(frame->ToolBar->actions().contains(frame->ExportDataToExcel));

    EXPECT_FALSE(frame->ExportDataToExcel->isEnabled());
    EXPECT_FALSE(frame->ExportDataToCsv->isEnabled());
    record(2);
    EXPECT_TRUE(frame->ExportDataToExcel->isEnabled());
    EXPECT_TRUE(frame->ExportDataToCsv->isEnabled());
    frame->CommsForm()->StartLoggingAction->trigger();
    EXPECT_FALSE(frame->ExportDataToExcel->isEnabled());
    EXPECT_FALSE(frame->ExportDataToCsv->isEnabled());
    // Even reached another way, the export does nothing while logging.
    frame->ExportDataToExcelExecute();
    EXPECT_TRUE(desktop.opened.empty());
    frame->CommsForm()->StopTalkingAction->trigger();
}

TEST_F(FrameExportTest, TheDatasetGoesIntoAWorkbookAndTheStatusBarSaysWhere) {
    record(3);
    const TALDLLog* log = frame->Datasets().CurrentDataset();
    ASSERT_NE(log, nullptr);
    frame->ExportDataToExcel->trigger();
    ASSERT_EQ(desktop.opened.size(), 1u) << (messenger.shown.empty() ? "" : messenger.shown[0].second);
    const std::string path = desktop.opened[0];
    EXPECT_EQ(path, desktop.folder + "/" + log->DatasetName() + ".xlsx");
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(frame->StatusText().toStdString(), "Workbook saved as " + path);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              DatasetTableText(frame->CommsForm()->acquisition().parameters(), *log, UserDecimalSeparator()));
    EXPECT_FALSE(windowLeft());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(FrameExportTest, WithoutASpreadsheetTheClipboardStaysAsItWas) {
    record(2);
    desktop.hasProgram = false;
    QGuiApplication::clipboard()->setText("what the user copied");
    frame->ExportDataToExcel->trigger();
    EXPECT_EQ(messenger.texts("Error"), std::vector<std::string>{"Excel not installed"});
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "what the user copied");
    EXPECT_FALSE(std::filesystem::exists(desktop.folder));
    EXPECT_FALSE(windowLeft());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(FrameExportTest, CsvGoesToTheChosenFile) {
    record(2);
    const std::string file = dir.file("drive.csv");
    testing::answerNextModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Export Data to CSV");
        const QFileInfo info(QString::fromStdString(file));
        dialog->setDirectory(info.absolutePath());
        if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) edit->setText(info.fileName());
        static_cast<QDialog*>(dialog)->accept();
    });
    frame->ExportDataToCsv->trigger();
    std::ifstream in(file);
    std::string header;
    ASSERT_TRUE(std::getline(in, header));
    EXPECT_EQ(header.rfind("Time (s),", 0), 0u) << header;
    const std::string name = frame->Datasets().CurrentDataset()->DatasetName();
    EXPECT_EQ(frame->StatusText().toStdString(), "Exported " + name + " to " + file);
}

} // namespace
} // namespace quillmar
