#include "app/sheet/ExportTables.h"
#include "app/sheet/SheetExports.h"
#include "app/sheet/Spreadsheet.h"
#include "store/Store.h"
#include "tests/sheet/SheetTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quillmar;
using namespace quillmar::testing;

namespace {

std::unique_ptr<TALDLLog> twoRows() {
    return makeLog(threeEntryTable(), {{0.25, 34, 0}, {0.00001, 0, 255}});
}

GraphCurveExport curve(const std::string& name, const std::string& yLabel, const std::string& yUnits,
                       std::vector<std::pair<double, double>> points) {
    GraphCurveExport c;
    c.CurveName = name;
    c.XLabel = "Time";
    c.XUnits = "s";
    c.YLabel = yLabel;
    c.YUnits = yUnits;
    c.Points = std::move(points);
    return c;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(DatasetTable, TwoRowsOfAThreeEntryTable) {
    auto log = twoRows();
    uint64_t maximum = 0, steps = 0;
    TableProgress progress{[&](uint64_t m) { maximum = m; }, [&] { ++steps; }};
    const std::string text = DatasetTableText(*log->Parameters, *log, ".", &progress);
    // Every entry but the last; a tab after every cell; CR LF.
    EXPECT_EQ(text, "Time\tEngine speed\tCoolant temp.\t\r\n"
                    "s\tRPM\t\xC2\xB0"
                    "C\t\r\n"
                    "0.25\t850\t-40\t\r\n"
                    "0.00001\t0\t151.25\t\r\n");
    EXPECT_EQ(maximum, 4u);
    EXPECT_EQ(steps, 4u);
    EXPECT_EQ(DatasetTableValueCount(*log->Parameters, *log), 4u);
}

TEST(DatasetTable, NumbersInTheGeneralFormatWithTheUsersSeparator) {
    EXPECT_EQ(FormatExportNumber(0.25, "."), "0.25");
    EXPECT_EQ(FormatExportNumber(0.25, ","), "0,25");
    EXPECT_EQ(FormatExportNumber(0.00001, "."), "0.00001");
    EXPECT_EQ(FormatExportNumber(0.000001, "."), "1E-6");
    EXPECT_EQ(FormatExportNumber(-0.0000015, ","), "-1,5E-6");
    EXPECT_EQ(FormatExportNumber(123456789012345.0, "."), "123456789012345");
    EXPECT_EQ(FormatExportNumber(1234567890123456.0, "."), "1.23456789012346E+15");
    EXPECT_EQ(FormatExportNumber(1.0 / 3.0, "."), "0.333333333333333");
    auto log = twoRows();
    const std::string text = DatasetTableText(*log->Parameters, *log, ",");
    EXPECT_NE(text.find("\r\n0,25\t850\t-40\t\r\n0,00001\t0\t151,25\t\r\n"), std::string::npos);
}

TEST(DatasetTable, PastedItLandsAsTextHeadingsAndNumbers) {
    auto log = twoRows();
    TWorksheet sheet;
    FillDatasetSheet(sheet, *log->Parameters, *log);
    EXPECT_EQ(sheet.Item(1, 1).Text(), "Time");
    EXPECT_EQ(sheet.Item(2, 3).Text(), "\xC2\xB0"
                                       "C");
    ASSERT_TRUE(sheet.Item(3, 1).IsNumber());
    EXPECT_DOUBLE_EQ(sheet.Item(3, 1).Number(), 0.25);
    EXPECT_DOUBLE_EQ(sheet.Item(4, 3).Number(), 151.25);
    EXPECT_DOUBLE_EQ(sheet.Item(4, 1).Number(), 0.00001);
    EXPECT_EQ(sheet.RowCount(), 4u);
    EXPECT_EQ(sheet.Find(3, 4), nullptr); // the line's last tab fills nothing
}

TEST(DatasetCsv, OneHeaderRowNamesWithUnitsQuotedWhereNeeded) {
    TParameterArray t = *threeEntryTable();
    t[1].Name = "Air/fuel, \"ratio\"";
    t[1].Units = "";
    auto log = makeLog(std::make_shared<const TParameterArray>(t), {{0.25, 34, 0}, {1, 40, 10}});
    log->Derived[TimeSlot][2] = NAN;
    EXPECT_EQ(DatasetCsvText(*log->Parameters, *log),
              "Time (s),Engine speed (RPM),\"Air/fuel, \"\"ratio\"\"\",Flags 30\r\n"
              "0.25,850,-40,17\r\n"
              ",1000,-32.5,17\r\n");
    EXPECT_EQ(CsvColumnName((*threeEntryTable())[1]), "Coolant temp. (\xC2\xB0"
                                                      "C)");

    // Every entry, the last one too; the derived time is not repeated.
    TParameter time;
    time.Name = "Time";
    time.Position = 64;
    time.Units = "s";
    t.insert(t.begin(), time);
    auto withTime = makeLog(std::make_shared<const TParameterArray>(t), {{2, 34, 0}});
    EXPECT_EQ(DatasetCsvText(*withTime->Parameters, *withTime),
              "Time (s),Engine speed (RPM),\"Air/fuel, \"\"ratio\"\"\",Flags 30\r\n2,850,-40,17\r\n");
}

TEST(GraphTable, CurvesOfDifferentLengthsStayUnderTheirHeadings) {
    GraphExport g;
    g.Line1 = "Dataset 0";
    g.Line2 = "Speed against time";
    g.Curves.push_back(curve("Speed", "Speed", "mph", {{1, 10}, {2, 20}, {3, 30}}));
    g.Curves.push_back(
        curve("Engine speed", "Engine speed", "RPM", {{1, 800}, {2, 900}, {3, 1000}, {4, 1100}, {5, 1200}}));
    TWorksheet sheet;
    EXPECT_EQ(FillGraphSheet(sheet, g), 5u);
    EXPECT_EQ(sheet.Item(1, 1).Text(), "Dataset 0");
    EXPECT_EQ(sheet.Item(2, 1).Text(), "Speed against time");
    EXPECT_EQ(sheet.Item(4, 1).Text(), "Speed");
    EXPECT_EQ(sheet.Item(4, 4).Text(), "Engine speed");
    EXPECT_EQ(sheet.Item(5, 4).Text(), "Time");
    EXPECT_EQ(sheet.Item(6, 5).Text(), "RPM");
    for (uint32_t row = 7; row <= 9; ++row) {
        EXPECT_DOUBLE_EQ(sheet.Item(row, 2).Number(), 10.0 * (row - 6));
        EXPECT_DOUBLE_EQ(sheet.Item(row, 5).Number(), 700.0 + 100 * (row - 6));
    }
    for (uint32_t row = 10; row <= 11; ++row) {
        EXPECT_TRUE(sheet.Item(row, 1).IsEmpty());
        EXPECT_TRUE(sheet.Item(row, 2).IsEmpty());
        EXPECT_DOUBLE_EQ(sheet.Item(row, 4).Number(), row - 6.0);
    }
    EXPECT_TRUE(sheet.Item(7, 3).IsEmpty());

    // The text export lays out the same table.
    const std::string text = GraphTableText(g, ".");
    TWorksheet pasted;
    pasted.Paste(text, 1, 1, ".");
    for (uint32_t r = 1; r <= 11; ++r)
        for (uint32_t c = 1; c <= 6; ++c) {
            const TCell* a = sheet.Find(r, c);
            const TCell* b = pasted.Find(r, c);
            const bool aEmpty = !a || a->IsEmpty(), bEmpty = !b || b->IsEmpty();
            ASSERT_EQ(aEmpty, bEmpty) << CellName(r, c);
            if (!aEmpty) {
                EXPECT_EQ(a->Text(), b->Text()) << CellName(r, c);
                EXPECT_EQ(a->Number(), b->Number()) << CellName(r, c);
            }
        }
}

TEST(GraphTable, PointsComeFromTheCurvesSeries) {
    TxyDataStruct series;
    ASSERT_TRUE(series.MakeXY(2, 8));
    series.SetX(1, 0.5);
    series.SetY(1, 1.25);
    series.SetX(2, 1);
    series.SetY(2, -3);
    GraphExport g;
    g.Curves.push_back(curve("Boost", "Boost", "bar", {{9, 9}}));
    g.Curves[0].Data = &series; // the series counts, not Points
    TWorksheet sheet;
    EXPECT_EQ(FillGraphSheet(sheet, g), 2u);
    EXPECT_DOUBLE_EQ(sheet.Item(7, 2).Number(), 1.25);
    EXPECT_DOUBLE_EQ(sheet.Item(8, 1).Number(), 1);
    EXPECT_DOUBLE_EQ(sheet.Item(8, 2).Number(), -3);
}

TEST(GraphTable, TextLinesAsTheFileHasThem) {
    GraphExport g;
    g.Line1 = "Title";
    g.Line2 = "Sub";
    g.Curves.push_back(curve("A", "Speed", "mph", {{1, 10}}));
    g.Curves.push_back(curve("B", "RPM", "RPM", {{1, 800}, {2.5, 900}}));
    EXPECT_EQ(GraphTableText(g, ","), "Title\r\nSub\r\n\r\n"
                                      "A\t\t\tB\t\t\t\r\n"
                                      "Time\tSpeed\t\tTime\tRPM\r\n"
                                      "s\tmph\t\ts\tRPM\r\n"
                                      "1\t10\t\t1\t800\r\n"
                                      "\t\t\t2,5\t900\r\n");
}

TEST(GraphTable, AllEmptyCurvesGiveNoFileAndNoWorkbook) {
    TempDir dir;
    GraphExport g;
    g.Line1 = "Empty";
    g.Curves.push_back(curve("A", "Speed", "mph", {}));
    g.Curves.push_back(curve("B", "RPM", "RPM", {}));
    EXPECT_EQ(WriteGraphTextFile(dir.file("graph.txt"), g, "."), GraphTextResult::NoPoints);
    EXPECT_TRUE(dir.names().empty());

    FakeDesktop desktop;
    desktop.folder = dir.file("Quillmar");
    TExcelApp app(desktop.environment());
    ScriptedMessenger messages;
    EXPECT_FALSE(ExportGraphToWorkbook(app, g));
    EXPECT_TRUE(desktop.opened.empty());
    EXPECT_FALSE(std::filesystem::exists(desktop.folder));
    EXPECT_TRUE(messages.lines().empty());
    EXPECT_FALSE(app.Connected());
}

TEST(GraphTable, TextFileIsWrittenOrTheFailureNamed) {
    TempDir dir;
    GraphExport g;
    g.Curves.push_back(curve("A", "Speed", "mph", {{1, 10}}));
    ScriptedMessenger messages;
    EXPECT_TRUE(ExportGraphToTextFile(dir.file("graph.txt"), g, "."));
    EXPECT_EQ(readFile(dir.file("graph.txt")), GraphTableText(g, "."));
    EXPECT_FALSE(ExportGraphToTextFile(dir.file("no folder/graph.txt"), g, "."));
    ASSERT_EQ(messages.lines().size(), 1u);
    EXPECT_EQ(messages.lines()[0], "Error|Could not create file");
}

TEST(GraphTable, WorkbookExportWritesTheTableAndOpensIt) {
    TempDir dir;
    FakeDesktop desktop;
    desktop.folder = dir.file("Quillmar");
    GraphExport g;
    g.Line1 = "  ";
    g.Line2 = "Boost/time";
    g.Curves.push_back(curve("A", "Boost", "bar", {{1, 0.5}}));
    TExcelApp app(desktop.environment());
    const auto path = ExportGraphToWorkbook(app, g);
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, desktop.folder + "/Boost_time.xlsx");
    EXPECT_EQ(desktop.opened, std::vector<std::string>{*path});
    EXPECT_FALSE(app.Connected()); // disconnected after the export

    desktop.hasProgram = false;
    ScriptedMessenger messages;
    EXPECT_FALSE(ExportGraphToWorkbook(app, g));
    EXPECT_EQ(messages.lines(), std::vector<std::string>{"Error|Excel not installed"});
    EXPECT_EQ(desktop.opened.size(), 1u);
}
