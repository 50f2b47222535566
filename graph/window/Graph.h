#pragma once
// The general XY graph window. It owns the axes, the curves and the legend,
// draws them into a cached image, and offers the mouse tools: marking x
// intervals (drag; Shift adds a second mark), a one-level x zoom to a marked
// interval, and following a curve with a crosshair to pick a data point. It
// prints, saves a picture, copies to the clipboard and opens the axes and
// curves dialogs.
//
// Marks and the crosshair are state drawn inverted over the cached image
// when the window paints; showing one twice hides it again. Pixel positions
// (mouse x, CrosshairX, mark pixels) are those of the cached image, which
// fills the widget's contents rectangle (a derived window keeps room for a
// status bar with setContentsMargins).
//
// The zoom that waits for a mark and the point selection are tools: states
// of the window that its mouse and key events move on (Escape or the
// information window's Abort cancels one), never loops of their own. A zoom
// started during a point selection runs on top of it; the selection goes on
// once the zoom has ended.
//
// The files: Graph.cpp (the commands), GraphView.cpp (drawing, marks,
// crosshair, mouse), GraphTools.cpp (the tools), GraphOutput.cpp (printing,
// pictures, clipboard).

#include "graph/core/Axes.h"
#include "graph/core/Curves.h"

#include <QImage>
#include <QPointF>
#include <QRegion>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QDialog;
class QMenu;
class QPrinter;
class QStatusBar;

namespace quillmar {

class TCanvas;
class TAxesDlg;
class TCurvesDlg;
class TGraphLegend;
class TInformationDlg;

enum TMouseActivityType { maNormal = 0, maMarking = 1, maSelecting = 2 };

// One end of a marked interval.
struct MarkPoint {
    int32_t Pixel = 0;
    double Value = 0; // x in data units
};

struct TMark {
    MarkPoint Start;
    MarkPoint End;
};

class TGraph : public QWidget {
    Q_OBJECT
public:
    explicit TGraph(QWidget* parent = nullptr);
    ~TGraph() override;

    // Commands. Tag 0 commands are disabled in every window while a modal
    // tool runs; Axes and Curves (tag 1) stay usable.
    QAction* ZoomAction = nullptr;              // Tools  "&Zoom"
    QAction* UnZoomAction = nullptr;            // Tools  "&Reset Zoom"
    QAction* SaveBMPAction = nullptr;           // Tools  "&Save as BMP"
    QAction* AxesAction = nullptr;              // Setup  "&Axes " (tag 1)
    QAction* CurveAction = nullptr;             // Setup  "&Curves" (tag 1)
    QAction* PrintGraphAction = nullptr;        // File   "&Print Graph"
    QAction* CopyGraphAction = nullptr;         // Edit   "Copy"
    QAction* ExitAction = nullptr;              // File   "E&xit"
    QAction* PrintSetupAction = nullptr;        // File   "Print &Setup"
    QAction* ExportGraphDataAction = nullptr;   // File   "Export Data to &ASCII file"
    QAction* ExportDataToExcelAction = nullptr; // File   "Export data to &Excel"
    // The right-button menu: "Axes" (tag 1) and "Curves".
    QMenu* GraphPopupMenu = nullptr;
    QAction* AxesPopup = nullptr;
    QAction* CurvesPopup = nullptr;

    TAxes& Axes() { return *axes_; }
    TCurves& Curves() { return *curves_; }
    TGraphLegend* Legend() const { return legend_; }
    TAxesDlg* AxesDialog() const { return axesDialog_; }
    TCurvesDlg* CurvesDialog() const { return curvesDialog_; }

    TMouseActivityType CurrentMouseActivity() const { return activity_; }
    bool CurveIsPresent() const { return curveIsPresent_; }
    // False while a tool (zoom, point selection) runs.
    bool Idle() const { return tools_.empty(); }
    int SelectedCurve() const { return selectedCurve_; }
    int MarkCount() const { return markCount_; }
    int NumberOfMarks() const { return markCount_; }
    int MaxMarks() const { return static_cast<int>(marks_.size()); }
    // Mark k = 1..MaxMarks.
    const TMark& Mark(int k) const { return marks_.at(static_cast<std::size_t>(k - 1)); }
    int CrosshairX() const { return crosshairX_; }
    int CrosshairY() const { return crosshairY_; }
    const QImage& CachedImage() const { return cachedImage_; }
    // The cached image with the marks and the crosshair as the window shows them.
    QImage ShownImage() const;
    // The information window of the running zoom or point selection, if any.
    TInformationDlg* InformationWindow() const;

    // The two exports on the File menu are commands of the program around
    // the window: it hands them in. Until then the actions do nothing.
    void setExportCommands(std::function<void()> exportToAsciiFile, std::function<void()> exportToExcel);

    // Receives the crosshair read-out; not owned.
    void setStatusBar(QStatusBar* statusBar) { statusBar_ = statusBar; }
    QStatusBar* statusBar() const { return statusBar_; }

    // Redraws the window through a fresh cached image.
    void DrawScreen();
    // Shows (or, shown already, hides) the band between two marks' x values.
    void MarkRegion(const MarkPoint& a, const MarkPoint& b);
    void ClearMarks();
    // Shows or hides the crosshair at CrosshairX/CrosshairY and the read-out.
    // size 0 spans the plot; a positive size draws a small cross.
    virtual void DrawCrosshair(bool show, int size);
    // The selected curve's data point for pixel column x; moves the crosshair there.
    void FollowCurve(int x, QPointF& point);
    // Starts picking a point of curve curveIndex with the crosshair; -1 asks
    // for the curve first. A prompt shows in an information window with
    // Abort. The selection ends with the next click (done gets true and the
    // point), or with Abort, Escape or Cancel in the curve chooser (false);
    // done runs once, at once when there is nothing to pick.
    using PointDone = std::function<void(bool picked, QPointF point)>;
    void SelectPoint(int curveIndex, const QString& prompt, PointDone done = {});

    // The picture of the graph laid out for size (what Save as BMP writes).
    QImage RenderPicture(QSize size);
    // Writes the graph, laid out for 1024 x 768, to fileName as format "BMP",
    // "PNG" (pictures), "SVG" or "PDF" (vectors). Failures are reported to the
    // user; false then.
    bool SavePicture(const QString& fileName, const QString& format);
    QPrinter* Printer();

public slots:
    void Zoom1Click();
    void UnZoom1Click();
    void Export1Click();
    void Axes1Click();
    void CurveSetupClick();
    void PrinttF81Click();
    void CopyToClipboard();
    void ExittAltX1Click();
    void PrinterSetup1Click();
    virtual void SelectPoint1Click();
    // The text file and workbook exports, as handed in.
    virtual void ExportGraphDataActionExecute();
    virtual void ExportGraphToExcelActionExecute();

signals:
    // The x axis was zoomed to a mark.
    void zoomed();

protected:
    // Drawn after the curves; empty here.
    virtual void DrawOthers(TCanvas& canvas);
    // Pixel coordinates of the cached image.
    virtual void FormMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    virtual void FormMouseMove(Qt::KeyboardModifiers shift, int x, int y);
    virtual void FormMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);

    // Copies the cached image (drawing it first when the size changed) and
    // inverts the marks and the crosshair over it; blank without curves.
    virtual void FormPaint();
    virtual void FormResize();
    // The window may close only while no tool runs.
    virtual bool FormCloseQuery() const;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Escape cancels the tool running.
    void keyPressEvent(QKeyEvent* event) override;
    // Refused while a tool runs.
    void closeEvent(QCloseEvent* event) override;

    // The image pixel under a widget position.
    int imageX(double widgetX) const;
    int imageY(double widgetY) const;
    // After a picture export or a print the axes hold that surface's layout:
    // lay out for the window again before converting pixels.
    void ensureScreenLayout();

    // A handler that changes what a tool waits for runs as one step: the
    // tools look at the window's state when the outermost step ends.
    class ToolStep {
    public:
        explicit ToolStep(TGraph& graph);
        ~ToolStep();
        ToolStep(const ToolStep&) = delete;
        ToolStep& operator=(const ToolStep&) = delete;

    private:
        TGraph& graph_;
    };

private:
    // A running tool. Tools stack: a zoom may run on top of a selection.
    enum class ToolKind { Zoom, ChooseCurve, SelectPoint };
    struct Tool {
        int Id = 0;
        ToolKind Kind = ToolKind::Zoom;
        TMouseActivityType Saved = maNormal; // a zoom: the activity it interrupted
        bool DisabledCommands = false;       // tag 0 commands are off for it
        bool Aborted = false;
        TInformationDlg* Info = nullptr; // owned by the window while the tool runs
        QDialog* Chooser = nullptr;      // the curve chooser while it is open
        QString Prompt;
        PointDone Done;
    };

    void createActions();
    void renderCache();
    QSize imageSize() const;
    void toggleCrosshair(int size);
    // Asks the tools to look at the window's state (once the current step
    // ends): the top one ends when what it waits for has happened.
    void wakeTools();
    void settleTools();
    bool toolEnded(const Tool& tool) const;
    void finishTopTool();
    Tool* findTool(int id);
    bool zoomRunning() const;
    int pushTool(Tool tool);
    TInformationDlg* showInformation(const QString& text, int toolId);
    void abortTool(int id);
    void applyZoom(TMouseActivityType activity);
    // The chosen curve (-1: Cancel) goes on to the crosshair.
    void startSelecting(int toolId, int curveIndex);

    std::unique_ptr<TAxes> axes_;
    std::unique_ptr<TCurves> curves_;
    TGraphLegend* legend_ = nullptr;
    TAxesDlg* axesDialog_ = nullptr;
    TCurvesDlg* curvesDialog_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    std::unique_ptr<QPrinter> printer_;

    TMouseActivityType activity_ = maNormal;
    int selectedCurve_ = 0;
    int markCount_ = 0;
    MarkPoint dragPoint_;
    std::vector<TMark> marks_;
    bool curveIsPresent_ = false;
    bool screenLayout_ = false; // the axes hold the cached image's layout
    QImage cachedImage_;
    QRegion markRegion_; // inverted bands, in image pixels
    struct Cross {
        int X, Y, Size;
        bool operator==(const Cross&) const = default;
    };
    std::vector<Cross> crosses_; // inverted crosshairs, in image pixels
    int crosshairX_ = 0;
    int crosshairY_ = 0;
    std::vector<Tool> tools_;
    int lastToolId_ = 0;
    int stepDepth_ = 0;
    bool wake_ = false;
    std::function<void()> exportToAsciiFile_;
    std::function<void()> exportToExcel_;
};

} // namespace quillmar
