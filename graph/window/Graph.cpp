#include "graph/window/Graph.h"

#include "graph/window/AxesDlg.h"
#include "graph/window/CurvesDlg.h"
#include "graph/window/EnableCommands.h"
#include "graph/window/GraphIcons.h"
#include "graph/window/GraphLegend.h"
#include "graph/window/InformationDlg.h"
#include "graph/window/SelectCurveDlg.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPrinter>

#include <utility>

namespace quillmar {

namespace {

QAction* makeAction(QObject* parent, const char* name, const QString& caption, const char* category,
                    int tag) {
    auto* action = new QAction(caption, parent);
    action->setObjectName(name);
    action->setProperty("category", QString(category));
    setActionTag(action, tag);
    return action;
}

} // namespace

TGraph::TGraph(QWidget* parent) : QWidget(parent) {
    setObjectName("Graph");
    setWindowTitle("Graph");
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setMinimumSize(160, 120);

    axes_ = std::make_unique<TAxes>();
    curves_ = std::make_unique<TCurves>(*axes_);
    legend_ = new TGraphLegend(this);
    axes_->LegendFont = &legend_->Font;
    axes_->LegendFontDivisor = legend_->FontDivisor;
    axesDialog_ = new TAxesDlg(this, this);
    curvesDialog_ = new TCurvesDlg(this, this);
    marks_.resize(2);
    createActions();
}

TGraph::~TGraph() {
    // A tool still running goes with the window: its windows close without
    // answering, and the commands it switched off are on again.
    bool disabled = false;
    for (Tool& tool : tools_) {
        if (tool.Chooser) {
            tool.Chooser->disconnect(this);
            delete tool.Chooser;
        }
        delete tool.Info;
        disabled = disabled || tool.DisabledCommands;
    }
    tools_.clear();
    if (disabled) EnableCommands(true, {0});
}

void TGraph::createActions() {
    ZoomAction = makeAction(this, "ZoomAction", "&Zoom", "Tools", 0);
    ZoomAction->setIcon(graphIcon(GraphIcon::Zoom));
    UnZoomAction = makeAction(this, "UnZoomAction", "&Reset Zoom", "Tools", 0);
    UnZoomAction->setIcon(graphIcon(GraphIcon::ResetZoom));
    SaveBMPAction = makeAction(this, "SaveBMPAction", "&Save as BMP", "Tools", 0);
    SaveBMPAction->setIcon(graphIcon(GraphIcon::Save));
    AxesAction = makeAction(this, "AxesAction", "&Axes ", "Setup", 1);
    CurveAction = makeAction(this, "CurveAction", "&Curves", "Setup", 1);
    PrintGraphAction = makeAction(this, "PrintGraphAction", "&Print Graph", "File", 0);
    PrintGraphAction->setIcon(graphIcon(GraphIcon::Print));
    CopyGraphAction = makeAction(this, "CopyGraphAction", "Copy", "Edit", 0);
    CopyGraphAction->setIcon(graphIcon(GraphIcon::Copy));
    ExitAction = makeAction(this, "ExitAction", "E&xit", "File", 0);
    PrintSetupAction = makeAction(this, "PrintSetupAction", "Print &Setup", "File", 0);
    ExportGraphDataAction =
        makeAction(this, "ExportGraphDataAction", "Export Data to &ASCII file", "File", 0);
    ExportDataToExcelAction = makeAction(this, "ExportDataToExcelAction", "Export data to &Excel", "File", 0);

    connect(ZoomAction, &QAction::triggered, this, &TGraph::Zoom1Click);
    connect(UnZoomAction, &QAction::triggered, this, &TGraph::UnZoom1Click);
    connect(SaveBMPAction, &QAction::triggered, this, &TGraph::Export1Click);
    connect(AxesAction, &QAction::triggered, this, &TGraph::Axes1Click);
    connect(CurveAction, &QAction::triggered, this, &TGraph::CurveSetupClick);
    connect(PrintGraphAction, &QAction::triggered, this, &TGraph::PrinttF81Click);
    connect(CopyGraphAction, &QAction::triggered, this, &TGraph::CopyToClipboard);
    connect(ExitAction, &QAction::triggered, this, &TGraph::ExittAltX1Click);
    connect(PrintSetupAction, &QAction::triggered, this, &TGraph::PrinterSetup1Click);
    connect(ExportGraphDataAction, &QAction::triggered, this, [this] { ExportGraphDataActionExecute(); });
    connect(ExportDataToExcelAction, &QAction::triggered, this,
            [this] { ExportGraphToExcelActionExecute(); });

    GraphPopupMenu = new QMenu(this);
    GraphPopupMenu->setObjectName("GraphPopupMenu");
    AxesPopup = makeAction(GraphPopupMenu, "AxesPopup", "Axes", "", 1);
    CurvesPopup = makeAction(GraphPopupMenu, "CurvesPopup", "Curves", "", 0);
    connect(AxesPopup, &QAction::triggered, this, &TGraph::Axes1Click);
    connect(CurvesPopup, &QAction::triggered, this, &TGraph::CurveSetupClick);
    GraphPopupMenu->addAction(AxesPopup);
    GraphPopupMenu->addAction(CurvesPopup);

    addActions({ZoomAction, UnZoomAction, SaveBMPAction, AxesAction, CurveAction, PrintGraphAction,
                CopyGraphAction, ExitAction, PrintSetupAction, ExportGraphDataAction,
                ExportDataToExcelAction});
}

// ---------------------------------------------------------------------------
// Other commands

void TGraph::Axes1Click() {
    if (!curveIsPresent_) {
        QApplication::beep();
        return;
    }
    axesDialog_->Show(*axes_);
}

void TGraph::CurveSetupClick() {
    if (!curveIsPresent_) {
        QApplication::beep();
        return;
    }
    curvesDialog_->Show(*curves_);
}

void TGraph::ExittAltX1Click() {
    close();
}

void TGraph::setExportCommands(std::function<void()> exportToAsciiFile, std::function<void()> exportToExcel) {
    exportToAsciiFile_ = std::move(exportToAsciiFile);
    exportToExcel_ = std::move(exportToExcel);
}

void TGraph::ExportGraphDataActionExecute() {
    if (exportToAsciiFile_) exportToAsciiFile_();
}

void TGraph::ExportGraphToExcelActionExecute() {
    if (exportToExcel_) exportToExcel_();
}

} // namespace quillmar