#pragma once
// quillmar-cli plot: log files drawn as the desktop program's graph draws
// them (the same curves, colours, axes and captions, through the same
// drawing code), written as a picture whose type the extension of --out
// names. Needs no display.

#include <QCoreApplication>

#include <memory>
#include <string>
#include <vector>

namespace quillmar {

extern const char* const PlotHelp;

// args: the words after "plot". Returns the exit status. Runs inside the
// application object MakeCliApplication makes for "plot".
int CmdPlot(const std::vector<std::string>& args);

// The application object quillmar-cli runs in. Drawing text needs a
// QGuiApplication, so "plot" and "histogram" get one on the offscreen
// platform, which needs no display; every other command a QCoreApplication.
std::unique_ptr<QCoreApplication> MakeCliApplication(int& argc, char** argv);

} // namespace quillmar
