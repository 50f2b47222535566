#include "app/sheet/ExportTables.h"
#include "app/sheet/Spreadsheet.h"
#include "app/sheet/window/SheetCommands.h"
#include "tests/sheet/SheetTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace quillmar;
using namespace quillmar::testing;

namespace {

// The export opens no window of its own (it runs in one go, without
// handling events, so a window could never be painted).
bool windowLeft() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) return true;
    return false;
}

} // namespace

TEST(DatasetExport, WithoutASpreadsheetNothingElseHappens) {
    TempDir dir;
    FakeDesktop desktop;
    desktop.hasProgram = false;
    desktop.folder = dir.file("Quillmar");
    TExcelApp app(desktop.environment());
    auto log = makeLog(threeEntryTable(), {{0.25, 34, 0}, {0.5, 0, 255}});
    QGuiApplication::clipboard()->setText("what the user copied");
    ScriptedMessenger messages;
    EXPECT_FALSE(ExportDatasetToExcel(app, *log->Parameters, log.get(), false, "."));
    EXPECT_EQ(messages.lines(), std::vector<std::string>{"Error|Excel not installed"});
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "what the user copied");
    EXPECT_FALSE(std::filesystem::exists(desktop.folder));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(windowLeft());
}

TEST(DatasetExport, CommandsWithoutDataSayNothing) {
    FakeDesktop desktop;
    TExcelApp app(desktop.environment());
    auto log = makeLog(threeEntryTable(), {{0.25, 34, 0}});
    auto empty = makeLog(threeEntryTable(), {});
    ScriptedMessenger messages;
    EXPECT_FALSE(ExportDatasetToExcel(app, *log->Parameters, log.get(), true, "."));
    EXPECT_FALSE(ExportDatasetToExcel(app, *log->Parameters, nullptr, false, "."));
    EXPECT_FALSE(ExportDatasetToExcel(app, *log->Parameters, empty.get(), false, "."));
    EXPECT_TRUE(messages.lines().empty());
    EXPECT_FALSE(app.Connected());
}

TEST(DatasetExport, TheTableGoesToTheClipboardAndIntoAWorkbook) {
    TempDir dir;
    FakeDesktop desktop;
    desktop.folder = dir.file("Quillmar");
    TExcelApp app(desktop.environment());
    auto log = makeLog(threeEntryTable(), {{0.25, 34, 0}, {0.5, 0, 255}});
    log->SetDatasetName("Dataset 0");
    // The hourglass shows until the workbook is opened.
    bool hourglass = false;
    desktop.whileOpening = [&] {
        hourglass =
            QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    ScriptedMessenger messages;
    const auto path = ExportDatasetToExcel(app, *log->Parameters, log.get(), false, ",");
    ASSERT_TRUE(path) << (messages.lines().empty() ? "" : messages.lines()[0]);
    EXPECT_EQ(*path, desktop.folder + "/Dataset 0.xlsx");
    EXPECT_TRUE(std::filesystem::exists(*path));
    EXPECT_EQ(desktop.opened, std::vector<std::string>{*path});
    EXPECT_TRUE(hourglass);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              DatasetTableText(*log->Parameters, *log, ","));
    EXPECT_TRUE(messages.lines().empty());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(windowLeft());
    EXPECT_FALSE(app.Connected());
}

TEST(DatasetExport, AFailedWorkbookIsReportedAndEverythingReleased) {
    TempDir dir;
    FakeDesktop desktop;
    desktop.folder = dir.file("file");
    std::filesystem::create_directories(dir.path);
    std::ofstream(desktop.folder) << "a file where the folder should be";
    TExcelApp app(desktop.environment());
    auto log = makeLog(threeEntryTable(), {{0.25, 34, 0}});
    ScriptedMessenger messages;
    EXPECT_FALSE(ExportDatasetToExcel(app, *log->Parameters, log.get(), false, "."));
    ASSERT_EQ(messages.lines().size(), 1u);
    EXPECT_EQ(messages.lines()[0].rfind("Error|Cannot create folder " + desktop.folder, 0), 0u)
        << messages.lines()[0];
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(windowLeft());
    EXPECT_FALSE(app.Connected());
}

TEST(GraphTextExport, AsksForAFileOnlyWhenThereIsACurve) {
    TempDir dir;
    GraphExport g;
    int asked = 0;
    std::optional<std::string> answer;
    const auto ask = [&](QWidget*) {
        ++asked;
        return answer;
    };
    EXPECT_FALSE(ExportGraphDataToAsciiFile(nullptr, g, ask, "."));
    EXPECT_EQ(asked, 0);
    GraphCurveExport c;
    c.CurveName = "Speed";
    c.Points = {{1, 2}};
    g.Curves.push_back(c);
    EXPECT_FALSE(ExportGraphDataToAsciiFile(nullptr, g, ask, ".")); // cancelled
    EXPECT_EQ(asked, 1);
    answer = dir.file("graph.txt");
    EXPECT_TRUE(ExportGraphDataToAsciiFile(nullptr, g, ask, "."));
    EXPECT_TRUE(std::filesystem::exists(*answer));
}

TEST(CsvExport, WritesTheChosenFileOrNamesTheFailure) {
    TempDir dir;
    auto log = makeLog(threeEntryTable(), {{0.25, 34, 0}});
    std::optional<std::string> answer = dir.file("dataset.csv");
    const auto ask = [&](QWidget*) { return answer; };
    ScriptedMessenger messages;
    EXPECT_FALSE(ExportDatasetToCsvFile(nullptr, *log->Parameters, log.get(), true, ask)); // logging
    EXPECT_EQ(ExportDatasetToCsvFile(nullptr, *log->Parameters, log.get(), false, ask), answer);
    std::ifstream in(*answer);
    std::string header;
    std::getline(in, header);
    EXPECT_EQ(header, "Time (s),Engine speed (RPM),Coolant temp. (\xC2\xB0"
                      "C),Flags 30\r");
    answer = dir.file("missing/dataset.csv");
    EXPECT_FALSE(ExportDatasetToCsvFile(nullptr, *log->Parameters, log.get(), false, ask));
    ASSERT_EQ(messages.lines().size(), 1u);
    EXPECT_NE(messages.lines()[0].find(*answer), std::string::npos) << messages.lines()[0];
}

TEST(WorkbookStatus, TheHomeFolderIsShortened) {
    const std::string home = QDir::homePath().toStdString();
    EXPECT_EQ(WorkbookStatusText(home + "/Documents/Quillmar/Dataset 0.xlsx"),
              "Workbook saved as ~/Documents/Quillmar/Dataset 0.xlsx");
    EXPECT_EQ(WorkbookStatusText(home + "x/Dataset 0.xlsx"),
              "Workbook saved as " + home + "x/Dataset 0.xlsx");
    EXPECT_EQ(WorkbookStatusText("/srv/Dataset 0.xlsx"), "Workbook saved as /srv/Dataset 0.xlsx");
}
