#include "graph/window/Graph.h"

#include "graph/draw/AxesDraw.h"
#include "graph/draw/Canvas.h"
#include "graph/draw/CurvesDraw.h"
#include "graph/draw/GraphDraw.h"
#include "graph/draw/GraphPicture.h"
#include "graph/window/AxesDlg.h"
#include "graph/window/CurvesDlg.h"
#include "graph/window/EnableCommands.h"
#include "graph/window/GraphIcons.h"
#include "graph/window/GraphLegend.h"
#include "graph/window/InformationDlg.h"
#include "graph/window/SelectCurveDlg.h"
#include "store/base/AtomicFile.h"
#include "store/base/Messages.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStatusBar>

#include <algorithm>
#include <cmath>
#include <exception>
#include <span>
#include <utility>

namespace quillmar {

namespace {

constexpr QSize PictureSize(1024, 768);
const char* const ZoomPrompt = "Click and drag with the mouse to select area to zoom into";

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
    // Nested tool loops end before the window goes.
    for (QEventLoop* loop : loops_)
        loop->quit();
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
// Drawing

// The graph fills the contents rectangle: a derived window can keep a strip
// for a control of its own (a status bar) with setContentsMargins.
QSize TGraph::imageSize() const {
    const qreal ratio = devicePixelRatioF();
    const QRect area = contentsRect();
    return QSize(std::max(1, static_cast<int>(std::lround(area.width() * ratio))),
                 std::max(1, static_cast<int>(std::lround(area.height() * ratio))));
}

int TGraph::imageX(double widgetX) const {
    return static_cast<int>(std::lround((widgetX - contentsRect().left()) * devicePixelRatioF()));
}
int TGraph::imageY(double widgetY) const {
    return static_cast<int>(std::lround((widgetY - contentsRect().top()) * devicePixelRatioF()));
}

void TGraph::DrawOthers(TCanvas&) {}

bool TGraph::Draw(TCanvas& canvas) {
    TDrawOptions options;
    options.DrawOthers = [this](TCanvas& c) { DrawOthers(c); };
    curveIsPresent_ = DrawGraph(*axes_, *curves_, canvas, options);
    return curveIsPresent_;
}

void TGraph::renderCache() {
    QImage image(imageSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        TCanvas canvas(painter);
        Draw(canvas);
    }
    image.setDevicePixelRatio(devicePixelRatioF());
    cachedImage_ = std::move(image);
    screenLayout_ = true;
    markRegion_ = QRegion();
    crosses_.clear();
    if (curveIsPresent_) {
        for (int k = 1; k <= markCount_; ++k)
            MarkRegion(marks_[static_cast<std::size_t>(k - 1)].Start,
                       marks_[static_cast<std::size_t>(k - 1)].End);
        if (activity_ == maSelecting) DrawCrosshair(true, 0);
    }
}

void TGraph::DrawScreen() {
    renderCache();
    update();
}

void TGraph::ensureScreenLayout() {
    if (!screenLayout_ || cachedImage_.size() != imageSize()) renderCache();
}

QImage TGraph::ShownImage() const {
    QImage image = cachedImage_.copy();
    if (image.isNull()) return image;
    image.setDevicePixelRatio(1);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    for (const QRect& r : markRegion_)
        painter.fillRect(r, Qt::black);
    painter.setPen(QPen(Qt::black, 1));
    for (const Cross& c : crosses_) {
        const TAxis& x = axes_->Axis(0);
        const TAxis& y = axes_->Axis(1);
        if (c.Size > 0) {
            painter.drawLine(c.X - c.Size, c.Y, c.X + c.Size, c.Y);
            painter.drawLine(c.X, c.Y - c.Size, c.X, c.Y + c.Size);
        } else {
            painter.drawLine(x.Info.AxisStart.Pixel, c.Y, x.Info.AxisEnd.Pixel, c.Y);
            painter.drawLine(c.X, y.Info.AxisStart.Pixel, c.X, y.Info.AxisEnd.Pixel);
        }
    }
    painter.end();
    image.setDevicePixelRatio(cachedImage_.devicePixelRatio());
    return image;
}

void TGraph::paintEvent(QPaintEvent*) {
    FormPaint();
}

void TGraph::FormPaint() {
    if (!curveIsPresent_) return; // the white background
    if (cachedImage_.size() != imageSize()) renderCache();
    if (!curveIsPresent_) return;
    QPainter painter(this);
    const QPoint origin = contentsRect().topLeft();
    if (markRegion_.isEmpty() && crosses_.empty())
        painter.drawImage(origin, cachedImage_);
    else
        painter.drawImage(origin, ShownImage());
}

void TGraph::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TGraph::FormResize() {
    update();
}

// ---------------------------------------------------------------------------
// Marks and crosshair

void TGraph::MarkRegion(const MarkPoint& a0, const MarkPoint& b0) {
    ensureScreenLayout();
    MarkPoint a = a0, b = b0;
    if (a.Value > b.Value) std::swap(a, b);
    const TAxis& x = axes_->Axis(0);
    const TAxis& y = axes_->Axis(1);
    const int pa = x.GetPixel(a.Value), pb = x.GetPixel(b.Value);
    if (pa > x.Info.AxisEnd.Pixel || pb < x.Info.AxisStart.Pixel) return;
    const int left = std::max(pa, x.Info.AxisStart.Pixel);
    const int right = std::min(pb, x.Info.AxisEnd.Pixel);
    const int top = y.Info.AxisEnd.Pixel, bottom = y.Info.AxisStart.Pixel;
    if (right <= left || bottom <= top) return;
    markRegion_ = markRegion_.xored(QRegion(left, top, right - left, bottom - top));
    update();
}

void TGraph::ClearMarks() {
    for (int k = 1; k <= markCount_; ++k)
        MarkRegion(marks_[static_cast<std::size_t>(k - 1)].Start,
                   marks_[static_cast<std::size_t>(k - 1)].End);
    markCount_ = 0;
    activity_ = maNormal;
    wakeModalLoops();
}

void TGraph::toggleCrosshair(int size) {
    const Cross c{crosshairX_, crosshairY_, size};
    auto it = std::find(crosses_.begin(), crosses_.end(), c);
    if (it != crosses_.end())
        crosses_.erase(it);
    else
        crosses_.push_back(c);
    update();
}

void TGraph::DrawCrosshair(bool show, int size) {
    toggleCrosshair(std::max(size, 0));
    if (!statusBar_) return;
    if (show) {
        const TAxis& x = axes_->Axis(0);
        int yIndex = 1;
        if (selectedCurve_ >= 0 && selectedCurve_ < curves_->Count())
            yIndex = curves_->GetCurve(selectedCurve_).YAxis == 2 ? 2 : 1;
        const TAxis& y = axes_->Axis(yIndex);
        const std::string text =
            "x: " + x.ReadoutText(x.GetValue(crosshairX_)) + " y: " + y.ReadoutText(y.GetValue(crosshairY_));
        statusBar_->showMessage(toQString(text));
    } else {
        statusBar_->clearMessage();
    }
}

void TGraph::FollowCurve(int x, QPointF& point) {
    ensureScreenLayout();
    if (selectedCurve_ < 0 || selectedCurve_ >= curves_->Count()) return;
    TCurve& curve = curves_->GetCurve(selectedCurve_);
    if (!curve.Series || curve.Series->Points == 0) return;
    const TAxis& xAxis = axes_->Axis(0);
    const TAxis& yAxis = axes_->Axis(curve.YAxis == 2 ? 2 : 1);
    const uint32_t i = curve.GetPointNumber(xAxis.GetValue(x));
    const long double px = curve.Series->GetX(i), py = curve.Series->GetY(i);
    point = QPointF(static_cast<double>(px), static_cast<double>(py));
    crosshairX_ = xAxis.GetPixel(px);
    crosshairY_ = yAxis.GetPixel(py);
}

// ---------------------------------------------------------------------------
// Mouse

void TGraph::mousePressEvent(QMouseEvent* event) {
    FormMouseDown(event->button(), event->modifiers(), imageX(event->position().x()),
                  imageY(event->position().y()));
}

void TGraph::mouseMoveEvent(QMouseEvent* event) {
    FormMouseMove(event->modifiers(), imageX(event->position().x()), imageY(event->position().y()));
}

void TGraph::mouseReleaseEvent(QMouseEvent* event) {
    FormMouseUp(event->button(), event->modifiers(), imageX(event->position().x()),
                imageY(event->position().y()));
}

void TGraph::contextMenuEvent(QContextMenuEvent* event) {
    GraphPopupMenu->popup(event->globalPos());
}

void TGraph::FormMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int) {
    if (button != Qt::LeftButton) return;
    ensureScreenLayout();
    if (activity_ == maNormal) {
        if (!curveIsPresent_) {
            QApplication::beep();
            return;
        }
        if (shift & Qt::ShiftModifier) {
            if (markCount_ == MaxMarks()) return;
            ++markCount_;
        } else {
            ClearMarks();
            markCount_ = 1;
        }
        activity_ = maMarking;
        const TAxis& xAxis = axes_->Axis(0);
        dragPoint_.Value = static_cast<double>(xAxis.GetValue(x));
        dragPoint_.Pixel = xAxis.GetPixel(dragPoint_.Value);
        marks_[static_cast<std::size_t>(markCount_ - 1)].Start = dragPoint_;
    } else if (activity_ == maSelecting) {
        QPointF point;
        DrawCrosshair(false, 0);
        FollowCurve(x, point);
        DrawCrosshair(true, 0);
    }
}

void TGraph::FormMouseMove(Qt::KeyboardModifiers, int x, int) {
    if (activity_ == maMarking) {
        ensureScreenLayout();
        const TAxis& xAxis = axes_->Axis(0);
        MarkPoint now;
        now.Value = static_cast<double>(xAxis.GetValue(x));
        now.Pixel = xAxis.GetPixel(now.Value);
        MarkRegion(dragPoint_, now);
        dragPoint_ = now;
    } else if (activity_ == maSelecting) {
        ensureScreenLayout();
        QPointF point;
        DrawCrosshair(false, 0);
        FollowCurve(x, point);
        DrawCrosshair(true, 0);
    }
}

void TGraph::FormMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (button != Qt::LeftButton) return;
    if (activity_ == maMarking) {
        FormMouseMove(shift, x, y);
        activity_ = maNormal;
        TMark& mark = marks_[static_cast<std::size_t>(markCount_ - 1)];
        const TAxis& xAxis = axes_->Axis(0);
        mark.End.Value = static_cast<double>(xAxis.GetValue(x));
        mark.End.Pixel = xAxis.GetPixel(mark.End.Value);
        // The band was inverted from the drag's start; activity is normal
        // now, so move it onto the stored end by hand.
        MarkPoint end = mark.End;
        MarkRegion(dragPoint_, end);
        dragPoint_ = end;
        if (mark.Start.Pixel == mark.End.Pixel) {
            // A click without dragging: no new mark (an earlier one stays).
            markCount_ -= 1;
        } else if (mark.Start.Value > mark.End.Value) {
            std::swap(mark.Start, mark.End);
        }
        wakeModalLoops();
    } else if (activity_ == maSelecting) {
        DrawCrosshair(false, 0);
        activity_ = maNormal;
        wakeModalLoops();
    }
}

bool TGraph::FormCloseQuery() const {
    return idle_;
}

void TGraph::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

// ---------------------------------------------------------------------------
// Modal tools

void TGraph::runModalLoop(const std::function<bool()>& done) {
    while (!done()) {
        QEventLoop loop;
        loops_.push_back(&loop);
        if (!done()) loop.exec();
        loops_.erase(std::find(loops_.begin(), loops_.end(), &loop));
    }
}

void TGraph::wakeModalLoops() {
    for (QEventLoop* loop : loops_)
        loop->quit();
}

void TGraph::peekmousecom() {
    QApplication::processEvents();
}

void TGraph::Zoom1Click() {
    if (!curveIsPresent_) return;
    ensureScreenLayout();
    if (markCount_ > 1) ClearMarks();
    const TMouseActivityType saved = activity_;
    activity_ = maNormal;
    if (saved == maSelecting) DrawCrosshair(false, 0);
    if (markCount_ == 0) {
        idle_ = false;
        const bool disable = saved != maSelecting;
        if (disable) EnableCommands(false, {0});
        auto* info = new TInformationDlg(this);
        information_ = info;
        info->setText(ZoomPrompt);
        connect(info, &TInformationDlg::abortClicked, this, &TGraph::wakeModalLoops);
        info->show();
        runModalLoop([&] { return (markCount_ == 1 && activity_ != maMarking) || info->Aborted(); });
        const bool aborted = info->Aborted();
        information_ = nullptr;
        delete info;
        if (disable) EnableCommands(true, {0});
        idle_ = true;
        if (aborted) {
            // An aborted zoom leaves a point selection it interrupted running.
            activity_ = saved;
            if (saved == maSelecting) DrawCrosshair(true, 0);
            wakeModalLoops();
            return;
        }
    }
    const TMark mark = marks_[0];
    ClearMarks();
    TAxis& x = axes_->Axis(0);
    x.Info.RangeMin.SetLiteralValue(mark.Start.Value);
    x.Info.RangeMax.SetLiteralValue(mark.End.Value);
    x.AutoScaleMin = false;
    x.AutoScaleMax = false;
    activity_ = saved;
    // DrawScreen shows the crosshair again in a point selection.
    DrawScreen();
    wakeModalLoops();
}

void TGraph::UnZoom1Click() {
    TAxis& x = axes_->Axis(0);
    x.AutoScaleMin = true;
    x.AutoScaleMax = true;
    DrawScreen();
}

bool TGraph::SelectPoint(int& curveIndex, const QString& prompt, QPointF& point) {
    if (!curveIsPresent_) return false;
    ensureScreenLayout();
    if (curveIndex == -1) {
        TSelectCurveDlg chooser(this);
        curveIndex = chooser.showmodal(*curves_) - 1;
    }
    if (curveIndex < 0 || curveIndex >= curves_->Count()) return false;
    selectedCurve_ = curveIndex;
    activity_ = maSelecting;
    const QPoint mouse = mapFromGlobal(QCursor::pos());
    FollowCurve(imageX(mouse.x()), point);
    DrawCrosshair(true, 0);
    TInformationDlg* info = nullptr;
    if (!prompt.isEmpty()) {
        info = new TInformationDlg(this);
        information_ = info;
        info->setText(prompt);
        connect(info, &TInformationDlg::abortClicked, this, &TGraph::wakeModalLoops);
        info->show();
    }
    if (QWidget* main = window()) main->activateWindow();
    setFocus();
    EnableCommands(false, {0});
    idle_ = false;
    runModalLoop([&] { return (info && info->Aborted()) || activity_ == maNormal; });
    const bool aborted = info && info->Aborted();
    EnableCommands(true, {0});
    information_ = nullptr;
    delete info;
    idle_ = true;
    const bool wasSelecting = activity_ == maSelecting;
    activity_ = maNormal;
    if (aborted) {
        if (wasSelecting) DrawCrosshair(false, 0);
        DrawScreen();
        return false;
    }
    FollowCurve(crosshairX_, point);
    return true;
}

void TGraph::SelectPoint1Click() {
    ClearMarks();
    int curve = -1;
    QPointF point;
    SelectPoint(curve, QString(), point);
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

QImage TGraph::RenderPicture(QSize size) {
    TDrawOptions options;
    options.DrawOthers = [this](TCanvas& c) { DrawOthers(c); };
    QImage image = RenderGraph(*axes_, *curves_, size, options);
    screenLayout_ = false; // the axes now hold the picture's layout
    return image;
}

bool TGraph::SavePicture(const QString& fileName, const QString& format) {
    const TPictureFormat kind = PictureFormatNamed(format).value_or(TPictureFormat::Bmp);
    TDrawOptions options;
    options.DrawOthers = [this](TCanvas& c) { DrawOthers(c); };
    const QByteArray bytes = GraphPictureBytes(*axes_, *curves_, kind, PictureSize, options, windowTitle());
    screenLayout_ = false; // the axes now hold the picture's layout
    const bool bitmap = kind == TPictureFormat::Bmp || kind == TPictureFormat::Png;
    if (bytes.isEmpty()) {
        showMessage("Error", bitmap ? "Error creating bitmap"
                                    : "Error writing file, check sufficient disc space is available");
        return false;
    }
    try {
        // The old file stays until the new one is complete.
        WriteFileAtomically(fileName.toStdString(),
                            std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                      static_cast<std::size_t>(bytes.size())));
    } catch (const std::exception&) {
        showMessage("Error", "Error writing file, check sufficient disc space is available");
        return false;
    }
    return true;
}

void TGraph::Export1Click() {
    if (!curveIsPresent_) {
        QApplication::beep();
        return;
    }
    const QString bmp = "Bitmap files (*.bmp)";
    const QString png = "PNG pictures (*.png)";
    const QString svg = "SVG drawings (*.svg)";
    const QString pdf = "PDF documents (*.pdf)";
    QFileDialog dialog(this, "Export Bitmap");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({bmp, png, svg, pdf});
    dialog.setDefaultSuffix("BMP");
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        dialog.setDefaultSuffix(filter == png   ? "png"
                                : filter == svg ? "svg"
                                : filter == pdf ? "pdf"
                                                : "BMP");
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString filter = dialog.selectedNameFilter();
    const QString format = filter == png ? "PNG" : filter == svg ? "SVG" : filter == pdf ? "PDF" : "BMP";
    SavePicture(dialog.selectedFiles().first(), format);
}

QPrinter* TGraph::Printer() {
    if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return printer_.get();
}

void TGraph::PrinttF81Click() {
    if (!curveIsPresent_) return;
    QPrinter* printer = Printer();
    const bool toFile =
        printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty();
    if (!toFile && QPrinterInfo::availablePrinters().isEmpty()) return; // no printer: nothing happens
    if (curves_->SetupAxesInfo()) {
        QPainter painter;
        if (painter.begin(printer)) {
            TCanvas canvas(painter);
            DrawAxes(*axes_, canvas);
            DrawCurves(*curves_, canvas);
            DrawOthers(canvas);
            painter.end();
        }
    }
    DrawScreen();
}

void TGraph::PrinterSetup1Click() {
    QPrintDialog dialog(Printer(), this);
    dialog.setWindowTitle("Print Setup");
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (auto* box = dialog.findChild<QDialogButtonBox*>())
        if (QPushButton* ok = box->button(QDialogButtonBox::Ok)) ok->setText("OK");
    dialog.exec(); // the choices stay with the printer; nothing is printed
}

void TGraph::CopyToClipboard() {
    if (cachedImage_.isNull()) return;
    QGuiApplication::clipboard()->setImage(ShownImage());
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
