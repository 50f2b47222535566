// The graph panel's choices between the acquisition window and the graph:
// what each side is told, and the graph let go of when the choices go.

#include "acquisition/PlotChoices.h"
#include "acquisition/params/Parameters.h"
#include "store/dataset/LogCollection.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace quillmar;

namespace {

// A graph that writes down what it hears.
struct HeardGraph {
    std::vector<std::string> heard;
    PlotGraphHooks hooks() {
        PlotGraphHooks h;
        h.SetupCurve = [this] { heard.push_back("setup"); };
        h.TimeShiftChanged = [this] { heard.push_back("shift"); };
        h.ActivateCursor = [this] { heard.push_back("cursor"); };
        h.Detached = [this] { heard.push_back("detached"); };
        return h;
    }
};

} // namespace

TEST(PlotChoices, TheWindowRequestsReachTheAttachedGraphOnly) {
    TLogCollection datasets;
    HeardGraph graph;
    PlotChoices choices(datasets);
    // Without a graph nothing happens.
    choices.setupCurve();
    choices.activateCursor();
    choices.timeShiftMoved(-250);
    EXPECT_EQ(choices.TimeShift, -250);

    bool cursorOn = false;
    choices.Panel.GraphAttached = [&] { cursorOn = true; };
    choices.attachGraph(graph.hooks());
    EXPECT_TRUE(cursorOn);
    choices.setupCurve();
    choices.timeShiftMoved(400);
    choices.activateCursor();
    EXPECT_EQ(graph.heard, (std::vector<std::string>{"setup", "shift", "cursor"}));
    EXPECT_EQ(choices.TimeShift, 400);

    choices.detachGraph();
    choices.setupCurve();
    EXPECT_EQ(graph.heard.size(), 3u);
}

TEST(PlotChoices, WhatTheGraphDecidesGoesToTheWindow) {
    TLogCollection datasets;
    HeardGraph graph; // outlives the choices, which tell it when they go
    PlotChoices choices(datasets);
    std::vector<std::string> shown;
    choices.Panel.ShowXText = [&](const std::string& text) { shown.push_back("x " + text); };
    choices.Panel.EnableTimeShift = [&](bool on) { shown.push_back(on ? "bar on" : "bar off"); };
    // The window's bar reports its new position back, as a scroll bar does.
    choices.Panel.ShowTimeShift = [&](int position) {
        shown.push_back("bar at " + std::to_string(position));
        choices.timeShiftMoved(position);
    };
    choices.Panel.ShowRow = [&](uint32_t row) { shown.push_back("row " + std::to_string(row)); };
    choices.attachGraph(graph.hooks());

    choices.Selection.XText = "Engine speed";
    choices.showXText(TimeAxisText);
    EXPECT_EQ(choices.Selection.XText, "Time");
    choices.enableTimeShift(true);
    choices.setTimeShift(0);
    choices.showRow(17);
    EXPECT_EQ(shown, (std::vector<std::string>{"x Time", "bar on", "bar at 0", "row 17"}));
    EXPECT_EQ(graph.heard, std::vector<std::string>{"shift"});
}

TEST(PlotChoices, WithoutAWindowTheTimeShiftIsKeptHere) {
    TLogCollection datasets;
    HeardGraph graph;
    PlotChoices choices(datasets);
    choices.attachGraph(graph.hooks());
    choices.setTimeShift(300);
    choices.setTimeShift(300); // no move, nothing to tell
    EXPECT_EQ(choices.TimeShift, 300);
    EXPECT_EQ(graph.heard, std::vector<std::string>{"shift"});
}

TEST(PlotChoices, AskingForTheCurrentDatasetChoosesOneAndTheWindowShowsIt) {
    TLogCollection datasets;
    PlotChoices choices(datasets);
    int chosen = 0;
    choices.Panel.DatasetChosen = [&] { ++chosen; };
    EXPECT_EQ(choices.currentDataset(), nullptr);
    const auto table = std::make_shared<const TParameterArray>(BuiltInParameters());
    TALDLLog& first = datasets.NewDataset(table);
    TALDLLog& second = datasets.NewDataset(table);
    ASSERT_EQ(datasets.selectedIndex(), -1); // none chosen yet
    EXPECT_EQ(choices.currentDataset(), &first);
    EXPECT_EQ(datasets.selectedIndex(), 0);
    datasets.selectDataset(&second);
    EXPECT_EQ(choices.currentDataset(), &second);
    EXPECT_EQ(chosen, 3);
}

TEST(PlotChoices, TheGraphHearsWhenTheChoicesGo) {
    TLogCollection datasets;
    HeardGraph graph;
    {
        PlotChoices choices(datasets);
        choices.attachGraph(graph.hooks());
    }
    EXPECT_EQ(graph.heard, std::vector<std::string>{"detached"});
}
