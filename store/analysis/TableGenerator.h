#pragma once
// The table generator: a z value spread over a grid of x and y breakpoints,
// as a tuner reads a calibration table ("mean spark advance over engine
// speed and manifold pressure").
//
// Every row goes to the cell of its nearest breakpoint on each axis. On an
// even axis LO:HI:STEP a row's position is (v - LO) / STEP; a position
// within 1e-9 of a half step counts as a tie, and a tie goes to the lower
// breakpoint. Rows more than half a step beyond the first or the last
// breakpoint are left out. On an axis of listed breakpoints, half the
// distance to the neighbour is the half step (measured in that distance).
// Rows whose x, y or z is not a finite number are left out.
//
// A cell's statistic (mean, min, max or the number of rows) is its value;
// a cell with no rows, or with fewer than the minimum count, has none.
// Several datasets pool their rows.

#include "store/analysis/NamedValues.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmar {

class TALDLLog;

// The most breakpoints an axis takes.
inline constexpr size_t MaxBreakpoints = 1000;

class GridAxis {
public:
    // "LO:HI:STEP": LO + k * STEP up to HI, HI included when it falls on the
    // grid within 1e-9 of a step (STEP above 0, LO at most HI); or
    // breakpoints separated by commas in ascending order, at least two.
    // Numbers may carry a sign, a fraction and an exponent. Throws
    // ErrorException (kind NotANumber or OutOfRange) saying what is wrong.
    static GridAxis Parse(const std::string& text);
    static GridAxis Even(double lo, double hi, double step);
    static GridAxis List(std::vector<double> breakpoints);

    const std::vector<double>& Breakpoints() const { return points_; }
    size_t size() const { return points_.size(); }
    bool even() const { return even_; }

    // The breakpoint (0-based) whose cell v falls in; nullopt beyond the
    // axis or for a value that is not finite.
    std::optional<size_t> CellOf(double v) const;

private:
    bool even_ = false;
    double lo_ = 0, step_ = 1;
    std::vector<double> points_;
};

enum class TableStatistic { Mean, Min, Max, Count };

// "mean", "min", "max", "count"; nullopt for other words.
std::optional<TableStatistic> TableStatisticNamed(const std::string& word);
const char* TableStatisticName(TableStatistic statistic);

// The finished table. Cell (xi, yi) sits at yi * X.size() + xi.
struct TableGrid {
    GridAxis X, Y;
    TableStatistic Statistic = TableStatistic::Mean;
    uint64_t MinCount = 1;
    std::vector<double> Values;    // NAN: the cell has no value
    std::vector<uint64_t> Counts;  // the rows in each cell (also those below MinCount)
    uint64_t RowsBinned = 0;       // rows that went into a cell
    uint64_t RowsOutside = 0;      // rows beyond either axis
    uint64_t RowsWithoutValue = 0; // rows whose x, y or z is not a finite number

    size_t cell(size_t xi, size_t yi) const { return yi * X.size() + xi; }
    double value(size_t xi, size_t yi) const { return Values[cell(xi, yi)]; }
    uint64_t count(size_t xi, size_t yi) const { return Counts[cell(xi, yi)]; }
    bool hasValue(size_t xi, size_t yi) const;
    size_t CellsWithValue() const;
};

// "Spark advance (mean) by Manifold press (abs). / Engine speed": z, the
// statistic, then the row axis y and the column axis x.
std::string TableHeading(const std::string& zName, TableStatistic statistic, const std::string& yName,
                         const std::string& xName);

class TableGenerator {
public:
    // minCount: at least 1.
    TableGenerator(GridAxis x, GridAxis y, TableStatistic statistic, uint64_t minCount = 1);

    // One row.
    void Add(double x, double y, double z);
    // Every row of log, by the named values.
    void AddRows(const TALDLLog& log, const NamedValue& x, const NamedValue& y, const NamedValue& z);

    TableGrid Result() const;

private:
    TableGrid grid_;
    std::vector<long double> sums_;
    std::vector<double> mins_, maxs_;
};

} // namespace quillmar
