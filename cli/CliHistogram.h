#pragma once
// quillmar-cli histogram: one parameter spread over a grid of two others
// (store/analysis/TableGenerator.h), written as CSV or as a coloured
// picture, whichever the extension of --out names.

#include <string>
#include <vector>

namespace quillmar {

extern const char* const HistogramHelp;

// args: the words after "histogram". Returns the exit status. Runs inside
// the application object MakeCliApplication makes for it (drawing text
// needs a QGuiApplication).
int CmdHistogram(const std::vector<std::string>& args);

} // namespace quillmar
