// Writes the workbooks check_workbooks.py reads back: the dataset table, a
// graph table, and cells a workbook cannot hold as they are.

#include "app/sheet/ExportTables.h"
#include "app/sheet/SheetExports.h"
#include "app/sheet/Spreadsheet.h"
#include "tests/sheet/SheetTestSupport.h"

#include <cmath>
#include <cstdio>
#include <string>

using namespace quillmar;
using namespace quillmar::testing;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sheet_workbook_writer FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    try {
        auto log = makeLog(threeEntryTable(), {{0.25, 34, 0}, {0.00001, 0, 255}});
        WriteDatasetWorkbook(folder + "/dataset.xlsx", *log->Parameters, *log);

        GraphExport g;
        g.Line1 = "Dataset 0";
        g.Line2 = "Speed and engine speed";
        GraphCurveExport a;
        a.CurveName = "Speed";
        a.XLabel = "Time";
        a.XUnits = "s";
        a.YLabel = "Speed";
        a.YUnits = "mph";
        a.Points = {{0.5, 10}, {1, 20}, {1.5, 30}};
        GraphCurveExport b = a;
        b.CurveName = "Engine speed";
        b.YLabel = "Engine speed";
        b.YUnits = "RPM";
        b.Points = {{0.5, 800}, {1, 900}, {1.5, 1000}, {2, 1100}, {2.5, 1200}};
        g.Curves = {a, b};
        TWorkbook graph(g.WorkbookName());
        FillGraphSheet(graph.Worksheets(1), g);
        graph.SaveAs(folder + "/graph.xlsx");

        TWorkbook odd("odd");
        TWorksheet& s = odd.Worksheets(1);
        s.Item(1, 1) = NAN;
        s.Item(1, 2) = -INFINITY;
        s.Item(1, 3) = "Coolant over 50\xC2\xB0"
                       "C \xE2\x82\xAC";
        s.Item(1, 4) = "bell\x07";
        s.Item(2, 1) = 1e-300;
        s.Item(2, 2) = 123456789012345.0;
        s.Item(3, 16384) = "far";
        odd.SaveAs(folder + "/odd.xlsx");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
