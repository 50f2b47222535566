#include "app/sheet/GridExport.h"

#include "acquisition/params/Parameters.h"
#include "app/sheet/ExportTables.h"
#include "store/analysis/TableGenerator.h"
#include "store/base/AtomicFile.h"

namespace quillmar {

std::string TableGridCsvText(const TableGrid& grid, const std::string& heading) {
    std::string text = CsvCell(heading);
    for (double x : grid.X.Breakpoints())
        text += ',' + FormatGeneral(x);
    text += "\r\n";
    for (size_t yi = 0; yi < grid.Y.size(); ++yi) {
        text += FormatGeneral(grid.Y.Breakpoints()[yi]);
        for (size_t xi = 0; xi < grid.X.size(); ++xi) {
            text += ',';
            if (grid.hasValue(xi, yi)) text += FormatGeneral(grid.value(xi, yi));
        }
        text += "\r\n";
    }
    return text;
}

void WriteTableGridCsvFile(const std::string& path, const TableGrid& grid, const std::string& heading) {
    WriteFileAtomically(path, TableGridCsvText(grid, heading));
}

} // namespace quillmar
