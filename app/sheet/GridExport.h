#pragma once
// A table of the table generator (store/analysis/TableGenerator.h) as CSV,
// with the conventions of the dataset CSV: comma separated, '.' as the
// decimal point, up to 15 significant digits, fields quoted where needed,
// UTF-8, CR LF line ends.
//
// The first line: the heading ("Spark advance (mean) by Manifold press
// (abs). / Engine speed", see TableHeading), then the x breakpoints. Then
// one line per y breakpoint, ascending: the breakpoint, then the cells from
// the first x breakpoint on; a cell without a value is empty.

#include <string>

namespace quillmar {

struct TableGrid;

std::string TableGridCsvText(const TableGrid& grid, const std::string& heading);

// Writes TableGridCsvText to path, replacing a file there only once the new
// one is complete. Throws FileError.
void WriteTableGridCsvFile(const std::string& path, const TableGrid& grid, const std::string& heading);

} // namespace quillmar
