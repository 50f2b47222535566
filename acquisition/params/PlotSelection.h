#pragma once
// What the acquisition graph plots, as the acquisition window's three
// selectors show it: the x-axis parameter and curves 1 and 2, by the texts of
// the selectors' items (display names, bit names, "Time", "No curve").

#include <array>
#include <cstdint>
#include <string>

namespace quillmar {

// Item texts of the selectors that are no parameter name.
inline constexpr const char* NoCurveText = "No curve";
inline constexpr const char* TimeAxisText = "Time";
inline constexpr const char* DistanceAxisText = "Distance";

// The selected item of a curve selector: its text and its item data (for a
// bit item the bit's position in FlagDefs plus 1, otherwise 0).
struct TSelectorItem {
    std::string Text;
    int32_t Data = 0;
    bool operator==(const TSelectorItem&) const = default;
};

// What the three selectors show.
struct TPlotSelection {
    std::string XText = TimeAxisText;
    // Elements 1 and 2, as the acquisition window's CurveSelectors.
    std::array<TSelectorItem, 3> Curve{TSelectorItem{}, TSelectorItem{}, TSelectorItem{NoCurveText, 0}};
};

} // namespace quillmar
