// The table generator: axes as the user writes them, binning at ties and
// edges, the statistics and the minimum count against values worked out
// by hand, pooled datasets, and the CSV.

#include "store/analysis/TableGenerator.h"

#include "app/sheet/GridExport.h"
#include "store/analysis/UserChannels.h"
#include "tests/analysis/AnalysisTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quillmar {
namespace {

using testing::analysisTable;
using testing::makeLog;
using testing::RowBytes;

std::string refusal(const std::string& axis) {
    try {
        GridAxis::Parse(axis);
    } catch (const ErrorException& e) {
        return e.what();
    }
    return "taken";
}

std::optional<size_t> cellOf(const GridAxis& axis, double v) {
    return axis.CellOf(v);
}

TEST(GridAxis, ReadsEvenAxesAndListsAndRefusesOthers) {
    EXPECT_EQ(GridAxis::Parse("0:10:2").Breakpoints(), (std::vector<double>{0, 2, 4, 6, 8, 10}));
    EXPECT_EQ(GridAxis::Parse("0:9:2").Breakpoints(), (std::vector<double>{0, 2, 4, 6, 8}));
    EXPECT_EQ(GridAxis::Parse("-10:10:5").Breakpoints(), (std::vector<double>{-10, -5, 0, 5, 10}));
    EXPECT_EQ(GridAxis::Parse("3:3:1").Breakpoints(), (std::vector<double>{3}));
    // 0.3 / 0.1 is a hair below 3 in binary: HI is on the grid all the same.
    EXPECT_EQ(GridAxis::Parse("0:0.3:0.1").size(), 4u);
    EXPECT_EQ(GridAxis::Parse("0:1:0.3").size(), 4u); // 0, 0.3, 0.6, 0.9
    EXPECT_EQ(GridAxis::Parse("1e3:2e3:5e2").Breakpoints(), (std::vector<double>{1000, 1500, 2000}));
    EXPECT_TRUE(GridAxis::Parse("0:10:2").even());
    const GridAxis list = GridAxis::Parse("500, 1000,2000 ,4000");
    EXPECT_FALSE(list.even());
    EXPECT_EQ(list.Breakpoints(), (std::vector<double>{500, 1000, 2000, 4000}));
    EXPECT_EQ(GridAxis::Parse("-1.5,-0.5,+2").Breakpoints(), (std::vector<double>{-1.5, -0.5, 2}));

    EXPECT_EQ(refusal("0:10:0"), "STEP must be above 0");
    EXPECT_EQ(refusal("0:10:-1"), "STEP must be above 0");
    EXPECT_EQ(refusal("10:0:1"), "LO must not be above HI");
    EXPECT_EQ(refusal("0:1e6:1"), "more than 1000 breakpoints");
    EXPECT_EQ(refusal("0:10"), "'0:10' is neither LO:HI:STEP nor breakpoints separated by commas");
    EXPECT_EQ(refusal("0:10:1:2"), "'0:10:1:2' is neither LO:HI:STEP nor breakpoints separated by commas");
    EXPECT_EQ(refusal("0:a:1"), "HI 'a' is not a number");
    EXPECT_EQ(refusal("1000,500,2000"), "the breakpoints must ascend: 500 follows 1000");
    EXPECT_EQ(refusal("1,1,2"), "the breakpoints must ascend: 1 follows 1");
    EXPECT_EQ(refusal("5"), "give at least two breakpoints");
    EXPECT_EQ(refusal("1,,2"), "the breakpoint '' is not a number");
    EXPECT_EQ(refusal("1,inf"), "the breakpoint 'inf' is not a number");
    EXPECT_EQ(refusal("1,0x10"), "the breakpoint '0x10' is not a number");
    EXPECT_EQ(refusal("1,2e999"), "the breakpoint '2e999' is not a number");
    EXPECT_EQ(refusal(""), "the breakpoint '' is not a number");
}

TEST(GridAxis, BinsToTheNearestBreakpointWithTiesToTheLowerOne) {
    const GridAxis even = GridAxis::Parse("0:10:2"); // 0 2 4 6 8 10
    EXPECT_EQ(cellOf(even, 0), 0u);
    EXPECT_EQ(cellOf(even, 0.9), 0u);
    EXPECT_EQ(cellOf(even, 1), 0u);        // halfway: the lower
    EXPECT_EQ(cellOf(even, 1 + 1e-9), 0u); // position 0.5 + 5e-10: still a tie
    EXPECT_EQ(cellOf(even, 1 + 4e-9), 1u); // position 0.5 + 2e-9: past it
    EXPECT_EQ(cellOf(even, 1 - 1e-9), 0u);
    EXPECT_EQ(cellOf(even, 3), 1u);
    EXPECT_EQ(cellOf(even, 3.0001), 2u);
    EXPECT_EQ(cellOf(even, 9), 4u);
    EXPECT_EQ(cellOf(even, 10), 5u);
    // Half a step beyond the ends still counts; more does not.
    EXPECT_EQ(cellOf(even, -1), 0u);
    EXPECT_EQ(cellOf(even, -1 - 1e-9), 0u);
    EXPECT_EQ(cellOf(even, -1 - 4e-9), std::nullopt);
    EXPECT_EQ(cellOf(even, 11), 5u);
    EXPECT_EQ(cellOf(even, 11 + 1e-9), 5u);
    EXPECT_EQ(cellOf(even, 11.001), std::nullopt);
    EXPECT_EQ(cellOf(even, -100), std::nullopt);
    EXPECT_EQ(cellOf(even, NAN), std::nullopt);
    EXPECT_EQ(cellOf(even, INFINITY), std::nullopt);

    // Positions are measured in steps: the tie tolerance follows the step.
    const GridAxis fine = GridAxis::Parse("0:0.001:0.0001");
    EXPECT_EQ(cellOf(fine, 0.00005), 0u);
    EXPECT_EQ(cellOf(fine, 0.00005 + 1e-12), 1u); // 1e-8 of a step past half

    const GridAxis single = GridAxis::Parse("5:5:2"); // one breakpoint, a step of 2
    EXPECT_EQ(cellOf(single, 4), 0u);
    EXPECT_EQ(cellOf(single, 6), 0u);
    EXPECT_EQ(cellOf(single, 6.1), std::nullopt);

    // A list: half the distance to the neighbour is the half step.
    const GridAxis list = GridAxis::Parse("0,10,30,100");
    EXPECT_EQ(cellOf(list, 5), 0u); // halfway between 0 and 10: the lower
    EXPECT_EQ(cellOf(list, 5.1), 1u);
    EXPECT_EQ(cellOf(list, 20), 1u); // halfway between 10 and 30
    EXPECT_EQ(cellOf(list, 20.5), 2u);
    EXPECT_EQ(cellOf(list, 65), 2u); // halfway between 30 and 100
    EXPECT_EQ(cellOf(list, 65.5), 3u);
    EXPECT_EQ(cellOf(list, 30), 2u);
    EXPECT_EQ(cellOf(list, -5), 0u); // half of the first gap below
    EXPECT_EQ(cellOf(list, -5.01), std::nullopt);
    EXPECT_EQ(cellOf(list, 135), 3u); // half of the last gap (70) above
    EXPECT_EQ(cellOf(list, 135.01), std::nullopt);
}

TEST(TableGenerator, GivesEachCellItsStatisticAndLeavesSparseCellsEmpty) {
    // x 0 10 20, y 0 1. Rows (x, y, z):
    //   cell (0, 0): 1, 2, 6        mean 3, min 1, max 6, count 3
    //   cell (1, 0): -4             one row
    //   cell (2, 1): 0.5, 0.25      mean 0.375
    //   (5, 0, 9) is a tie between x 0 and 10: cell (0, 0) gets it in the
    //   second pass below.
    const auto rows = [](TableGenerator& g) {
        g.Add(0, 0, 1);
        g.Add(-4.9, 0.4, 2);
        g.Add(4, -0.5, 6);
        g.Add(10, 0, -4);
        g.Add(20, 1, 0.5);
        g.Add(24, 1.5, 0.25);
        g.Add(25.1, 0, 100); // beyond x
        g.Add(0, 1.6, 100);  // beyond y
        g.Add(NAN, 0, 100);  // no x
        g.Add(0, 0, INFINITY);
    };
    const auto grid = [&](TableStatistic statistic, uint64_t minCount) {
        TableGenerator g(GridAxis::Parse("0:20:10"), GridAxis::Parse("0,1"), statistic, minCount);
        rows(g);
        return g.Result();
    };

    const TableGrid mean = grid(TableStatistic::Mean, 1);
    ASSERT_EQ(mean.Values.size(), 6u);
    EXPECT_EQ(mean.value(0, 0), 3);
    EXPECT_EQ(mean.value(1, 0), -4);
    EXPECT_EQ(mean.value(2, 1), 0.375);
    for (auto [x, y] : {std::pair{2, 0}, {0, 1}, {1, 1}})
        EXPECT_FALSE(mean.hasValue(x, y)) << x << "," << y;
    EXPECT_EQ(mean.count(0, 0), 3u);
    EXPECT_EQ(mean.count(1, 1), 0u);
    EXPECT_EQ(mean.RowsBinned, 6u);
    EXPECT_EQ(mean.RowsOutside, 2u);
    EXPECT_EQ(mean.RowsWithoutValue, 2u);
    EXPECT_EQ(mean.CellsWithValue(), 3u);

    EXPECT_EQ(grid(TableStatistic::Min, 1).value(0, 0), 1);
    EXPECT_EQ(grid(TableStatistic::Max, 1).value(0, 0), 6);
    EXPECT_EQ(grid(TableStatistic::Max, 1).value(2, 1), 0.5);
    const TableGrid count = grid(TableStatistic::Count, 1);
    EXPECT_EQ(count.value(0, 0), 3);
    EXPECT_EQ(count.value(2, 1), 2);
    EXPECT_FALSE(count.hasValue(0, 1)); // no rows: empty, not 0

    // A minimum of two rows empties the cell of one, and keeps its count.
    const TableGrid two = grid(TableStatistic::Mean, 2);
    EXPECT_EQ(two.value(0, 0), 3);
    EXPECT_FALSE(two.hasValue(1, 0));
    EXPECT_EQ(two.count(1, 0), 1u);
    EXPECT_EQ(two.value(2, 1), 0.375);
    EXPECT_FALSE(grid(TableStatistic::Count, 3).hasValue(2, 1));
    EXPECT_EQ(grid(TableStatistic::Count, 3).value(0, 0), 3);

    // The tie at x 5 goes to the lower breakpoint.
    TableGenerator tie(GridAxis::Parse("0:20:10"), GridAxis::Parse("0,1"), TableStatistic::Mean);
    tie.Add(5, 0, 9);
    tie.Add(15, 1, 7);
    EXPECT_EQ(tie.Result().value(0, 0), 9);
    EXPECT_EQ(tie.Result().value(1, 1), 7);

    EXPECT_EQ(TableStatisticNamed("count"), TableStatistic::Count);
    EXPECT_EQ(TableStatisticNamed("Mean"), std::nullopt);
    EXPECT_EQ(TableStatisticNamed("median"), std::nullopt);
}

TEST(TableGenerator, PoolsTheRowsOfSeveralDatasetsByTheirNames) {
    // Spark advance (45/128 a count) over engine speed 1000 2000 (x) and
    // the flag bit "At idle" 0 1 (y).
    RowBytes a1{40, 0, 64, 0, 0, 0x00, 0};  // 1000 rpm, 22.5°, not idle
    RowBytes a2{44, 0, 128, 0, 0, 0x00, 0}; // 1100 rpm, 45°
    RowBytes a3{80, 0, -64, 0, 0, 0x80, 0}; // 2000 rpm, -22.5°, idle
    RowBytes b1{60, 0, 32, 0, 0, 0x00, 0};  // 1500 rpm: the tie, goes to 1000; 11.25°
    RowBytes b2{100, 0, 0, 0, 0, 0x80, 0};  // 2500 rpm: half a step past 2000, kept
    RowBytes b3{101, 0, 0, 0, 0, 0x80, 0};  // 2525 rpm: left out
    const auto a = makeLog({a1, a2, a3});
    const auto b = makeLog({b1, b2, b3});
    const auto shared = analysisTable();
    const TParameterArray& table = *shared;
    const auto x = FindNamedValue(table, {}, "Engine speed");
    const auto y = FindNamedValue(table, {}, "Flags 30/At idle");
    const auto z = FindNamedValue(table, {}, "Spark advance");
    ASSERT_TRUE(x && y && z);
    EXPECT_EQ(y->Bit, 7);

    TableGenerator pooled(GridAxis::Parse("1000:2000:1000"), GridAxis::Parse("0:1:1"), TableStatistic::Mean);
    pooled.AddRows(*a, *x, *y, *z);
    pooled.AddRows(*b, *x, *y, *z);
    const TableGrid grid = pooled.Result();
    EXPECT_EQ(grid.value(0, 0), (22.5 + 45 + 11.25) / 3);
    EXPECT_EQ(grid.value(1, 1), (-22.5 + 0) / 2);
    EXPECT_FALSE(grid.hasValue(1, 0));
    EXPECT_FALSE(grid.hasValue(0, 1));
    EXPECT_EQ(grid.RowsBinned, 5u);
    EXPECT_EQ(grid.RowsOutside, 1u);

    // A user channel is named like a parameter, and its gaps are left out.
    const UserChannelSet channels(UserChannelList::Parse("Inverse=1000 / ([Engine speed] - 2000)"), table);
    channels.Compute(*a);
    const auto inverse = FindNamedValue(table, channels.List().Names(), "Inverse");
    ASSERT_TRUE(inverse);
    TableGenerator byChannel(GridAxis::Parse("-1,0"), GridAxis::Parse("0,1"), TableStatistic::Count);
    byChannel.AddRows(*a, *inverse, *y, *z);
    const TableGrid counted = byChannel.Result();
    EXPECT_EQ(counted.value(0, 0), 2);       // -1 and -1.111: both nearest -1
    EXPECT_EQ(counted.RowsWithoutValue, 1u); // 2000 rpm: no value
}

TEST(TableGridCsv, WritesTheHeadingTheBreakpointsAndEmptyCells) {
    TableGenerator g(GridAxis::Parse("1000,2000,3000"), GridAxis::Parse("0.4:0.8:0.2"), TableStatistic::Mean);
    g.Add(1000, 0.4, 10);
    g.Add(1000, 0.4, 10);
    g.Add(1000, 0.4, 11); // mean 31/3
    g.Add(3000, 0.8, -2.5);
    g.Add(2000, 0.6, 1e-7);
    const TableGrid grid = g.Result();
    const std::string heading =
        TableHeading("Spark advance", TableStatistic::Mean, "Manifold press (abs).", "Engine speed");
    EXPECT_EQ(heading, "Spark advance (mean) by Manifold press (abs). / Engine speed");
    EXPECT_EQ(TableGridCsvText(grid, heading),
              "Spark advance (mean) by Manifold press (abs). / Engine speed,1000,2000,3000\r\n"
              "0.4,10.3333333333333,,\r\n"
              "0.6,,1E-7,\r\n"
              "0.8,,,-2.5\r\n");
    // A heading with a comma is quoted, as the dataset CSV quotes.
    EXPECT_EQ(TableGridCsvText(grid, "A, \"b\"").substr(0, 11), "\"A, \"\"b\"\"\",");
}

} // namespace
} // namespace quillmar
