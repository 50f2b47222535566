#include "store/analysis/TableGenerator.h"

#include "acquisition/params/Parameters.h"
#include "store/base/Error.h"
#include "store/dataset/ALDLLog.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace quillmar {

namespace {

// Positions within this much of a half step are ties; rows this much beyond
// half a step outside still count.
constexpr double Tolerance = 1e-9;

[[noreturn]] void refuse(ErrorKind kind, const std::string& detail) {
    Error e;
    e.kind = kind;
    e.detail = detail;
    throw ErrorException(e);
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A finite decimal number: sign, digits, point, exponent; nothing else.
double number(const std::string& word, const std::string& what) {
    const std::string text = trimmed(word);
    const bool plain = !text.empty() && text.find_first_not_of("0123456789.eE+-") == std::string::npos &&
                       text.find_first_of("0123456789") != std::string::npos;
    char* end = nullptr;
    errno = 0;
    const double v = plain ? std::strtod(text.c_str(), &end) : 0.0;
    if (!plain || end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(v))
        refuse(ErrorKind::NotANumber, what + " '" + text + "' is not a number");
    return v;
}

} // namespace

GridAxis GridAxis::Parse(const std::string& text) {
    if (text.find(':') != std::string::npos) {
        std::vector<std::string> parts;
        size_t start = 0;
        for (;;) {
            const size_t colon = text.find(':', start);
            parts.push_back(
                text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
        if (parts.size() != 3 || text.find(',') != std::string::npos)
            refuse(ErrorKind::NotANumber,
                   "'" + text + "' is neither LO:HI:STEP nor breakpoints separated by commas");
        return Even(number(parts[0], "LO"), number(parts[1], "HI"), number(parts[2], "STEP"));
    }
    std::vector<double> points;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        points.push_back(
            number(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start),
                   "the breakpoint"));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return List(std::move(points));
}

GridAxis GridAxis::Even(double lo, double hi, double step) {
    if (!(step > 0)) refuse(ErrorKind::OutOfRange, "STEP must be above 0");
    if (!(lo <= hi)) refuse(ErrorKind::OutOfRange, "LO must not be above HI");
    const double steps = std::floor((hi - lo) / step + Tolerance);
    if (!(steps + 1 <= static_cast<double>(MaxBreakpoints)))
        refuse(ErrorKind::OutOfRange, "more than " + std::to_string(MaxBreakpoints) + " breakpoints");
    GridAxis axis;
    axis.even_ = true;
    axis.lo_ = lo;
    axis.step_ = step;
    const auto n = static_cast<size_t>(steps) + 1;
    for (size_t k = 0; k < n; ++k)
        axis.points_.push_back(lo + static_cast<double>(k) * step);
    return axis;
}

GridAxis GridAxis::List(std::vector<double> breakpoints) {
    if (breakpoints.size() < 2) refuse(ErrorKind::OutOfRange, "give at least two breakpoints");
    if (breakpoints.size() > MaxBreakpoints)
        refuse(ErrorKind::OutOfRange, "more than " + std::to_string(MaxBreakpoints) + " breakpoints");
    for (size_t i = 0; i < breakpoints.size(); ++i) {
        if (!std::isfinite(breakpoints[i])) refuse(ErrorKind::NotANumber, "a breakpoint is not a number");
        if (i > 0 && !(breakpoints[i] > breakpoints[i - 1]))
            refuse(ErrorKind::OutOfRange, "the breakpoints must ascend: " + FormatGeneral(breakpoints[i]) +
                                              " follows " + FormatGeneral(breakpoints[i - 1]));
    }
    GridAxis axis;
    axis.points_ = std::move(breakpoints);
    return axis;
}

std::optional<size_t> GridAxis::CellOf(double v) const {
    if (!std::isfinite(v) || points_.empty()) return std::nullopt;
    const size_t last = points_.size() - 1;
    if (even_) {
        const double p = (v - lo_) / step_;
        if (!(p >= -0.5 - Tolerance && p <= static_cast<double>(last) + 0.5 + Tolerance)) return std::nullopt;
        const double below = std::floor(p);
        const double index = p - below <= 0.5 + Tolerance ? below : below + 1;
        return static_cast<size_t>(std::clamp(index, 0.0, static_cast<double>(last)));
    }
    // The last breakpoint at or below v.
    const auto upper = std::upper_bound(points_.begin(), points_.end(), v);
    if (upper == points_.begin()) {
        const double t = (points_[0] - v) / (points_[1] - points_[0]);
        return t <= 0.5 + Tolerance ? std::optional<size_t>(0) : std::nullopt;
    }
    const auto i = static_cast<size_t>(upper - points_.begin()) - 1;
    if (i == last) {
        const double t = (v - points_[last]) / (points_[last] - points_[last - 1]);
        return t <= 0.5 + Tolerance ? std::optional<size_t>(last) : std::nullopt;
    }
    const double t = (v - points_[i]) / (points_[i + 1] - points_[i]);
    return t <= 0.5 + Tolerance ? i : i + 1;
}

std::optional<TableStatistic> TableStatisticNamed(const std::string& word) {
    for (TableStatistic s :
         {TableStatistic::Mean, TableStatistic::Min, TableStatistic::Max, TableStatistic::Count})
        if (word == TableStatisticName(s)) return s;
    return std::nullopt;
}

const char* TableStatisticName(TableStatistic statistic) {
    switch (statistic) {
    case TableStatistic::Mean:
        return "mean";
    case TableStatistic::Min:
        return "min";
    case TableStatistic::Max:
        return "max";
    case TableStatistic::Count:
        break;
    }
    return "count";
}

bool TableGrid::hasValue(size_t xi, size_t yi) const {
    return !std::isnan(value(xi, yi));
}

size_t TableGrid::CellsWithValue() const {
    return static_cast<size_t>(
        std::count_if(Values.begin(), Values.end(), [](double v) { return !std::isnan(v); }));
}

std::string TableHeading(const std::string& zName, TableStatistic statistic, const std::string& yName,
                         const std::string& xName) {
    return zName + " (" + TableStatisticName(statistic) + ") by " + yName + " / " + xName;
}

TableGenerator::TableGenerator(GridAxis x, GridAxis y, TableStatistic statistic, uint64_t minCount) {
    grid_.X = std::move(x);
    grid_.Y = std::move(y);
    grid_.Statistic = statistic;
    grid_.MinCount = std::max<uint64_t>(minCount, 1);
    const size_t cells = grid_.X.size() * grid_.Y.size();
    grid_.Counts.assign(cells, 0);
    sums_.assign(cells, 0.0L);
    mins_.assign(cells, std::numeric_limits<double>::infinity());
    maxs_.assign(cells, -std::numeric_limits<double>::infinity());
}

void TableGenerator::Add(double x, double y, double z) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        ++grid_.RowsWithoutValue;
        return;
    }
    const std::optional<size_t> xi = grid_.X.CellOf(x), yi = grid_.Y.CellOf(y);
    if (!xi || !yi) {
        ++grid_.RowsOutside;
        return;
    }
    const size_t c = grid_.cell(*xi, *yi);
    ++grid_.Counts[c];
    sums_[c] += z;
    mins_[c] = std::min(mins_[c], z);
    maxs_[c] = std::max(maxs_[c], z);
    ++grid_.RowsBinned;
}

void TableGenerator::AddRows(const TALDLLog& log, const NamedValue& x, const NamedValue& y,
                             const NamedValue& z) {
    for (uint32_t r = 1; r <= log.Rows; ++r)
        Add(RowValue(log, x, r), RowValue(log, y, r), RowValue(log, z, r));
}

TableGrid TableGenerator::Result() const {
    TableGrid grid = grid_;
    grid.Values.assign(grid.Counts.size(), NAN);
    for (size_t c = 0; c < grid.Counts.size(); ++c) {
        const uint64_t n = grid.Counts[c];
        if (n == 0 || n < grid.MinCount) continue;
        switch (grid.Statistic) {
        case TableStatistic::Mean:
            grid.Values[c] = static_cast<double>(sums_[c] / static_cast<long double>(n));
            break;
        case TableStatistic::Min:
            grid.Values[c] = mins_[c];
            break;
        case TableStatistic::Max:
            grid.Values[c] = maxs_[c];
            break;
        case TableStatistic::Count:
            grid.Values[c] = static_cast<double>(n);
            break;
        }
    }
    return grid;
}

} // namespace quillmar
