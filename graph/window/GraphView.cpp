// The graph window's picture: the cached image and how it is painted, the
// marks and the crosshair over it, and the mouse that makes them.
#include "graph/window/Graph.h"

#include "graph/draw/Canvas.h"
#include "graph/draw/GraphDraw.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillmar {

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

void TGraph::renderCache() {
    QImage image(imageSize(), QImage::Format_RGB32);
    {
        QPainter painter(&image);
        TDrawOptions options;
        options.DrawOthers = [this](TCanvas& c) { DrawOthers(c); };
        curveIsPresent_ = PaintGraph(painter, image.rect(), *axes_, *curves_, options);
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
    wakeTools();
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

// Each mouse event is one step of a running tool.
void TGraph::mousePressEvent(QMouseEvent* event) {
    const ToolStep step(*this);
    FormMouseDown(event->button(), event->modifiers(), imageX(event->position().x()),
                  imageY(event->position().y()));
}

void TGraph::mouseMoveEvent(QMouseEvent* event) {
    const ToolStep step(*this);
    FormMouseMove(event->modifiers(), imageX(event->position().x()), imageY(event->position().y()));
}

void TGraph::mouseReleaseEvent(QMouseEvent* event) {
    const ToolStep step(*this);
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
        wakeTools();
    } else if (activity_ == maSelecting) {
        DrawCrosshair(false, 0);
        activity_ = maNormal;
        wakeTools();
    }
}

bool TGraph::FormCloseQuery() const {
    return Idle();
}

void TGraph::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace quillmar
