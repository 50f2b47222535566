#pragma once
// A round analog gauge that draws itself: a face (scale, ticks, numbers,
// coloured warning arcs, caption) kept in a bitmap of its own, and a needle
// drawn over a copy of it, so that moving the needle never redraws the face
// (only the face under the old and the new needle is copied back).
// With anti-aliasing both are drawn k times larger and reduced by averaging
// every k x k block.

#include "app/gauge/GaugeGeometry.h"

#include <QColor>
#include <QFlags>
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace quillmar {

// What the face shows; bit 0 first.
enum class TFaceOption : uint32_t {
    ShowMargin = 1u << 0,
    ShowCircles = 1u << 1,
    ShowMainTicks = 1u << 2,
    ShowSubTicks = 1u << 3,
    ShowIndicatorMin = 1u << 4,
    ShowIndicatorMid = 1u << 5,
    ShowIndicatorMax = 1u << 6,
    ShowValues = 1u << 7,
    ShowCenter = 1u << 8,
    ShowFrame = 1u << 9,
    Show3D = 1u << 10,
    ShowCaption = 1u << 11,
};
Q_DECLARE_FLAGS(TFaceOptions, TFaceOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFaceOptions)

// A new gauge's face: margin, main and sub ticks, maximum indicator, values,
// centre, frame, 3D and caption.
inline constexpr uint32_t DefaultFaceOptionsMask = 0xFCD;

// Pixels of the rim AlertColor draws.
inline constexpr int AlertRimWidth = 5;

// Supersampling: factor 1, 2, 3 or 4.
enum class TAntialiased { aaNone, aaBiline, aaTriline, aaQuadral };
int SupersamplingFactor(TAntialiased aa);

// A colour given as 0x00BBGGRR.
QColor ColorFromBgr(uint32_t bgr);

// Reduces source (k times the size of target, k from 1 to 4) into target:
// every target pixel is the per-channel average of its k x k block, rounded
// to nearest.
void ReduceBlocks(const QImage& source, int k, QImage& target);
// The same for the target pixels of area only.
void ReduceBlocks(const QImage& source, int k, QImage& target, const QRect& area);

// A span of the scale drawn in a colour of its own along the ticks (a
// threshold's band), in the needle's units.
struct GaugeBand {
    double From = 0, To = 0;
    QColor Color;
    bool operator==(const GaugeBand&) const = default;
};

class TA3nalogGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor MinColor READ MinColor WRITE setMinColor)
    Q_PROPERTY(QColor MidColor READ MidColor WRITE setMidColor)
    Q_PROPERTY(QColor MaxColor READ MaxColor WRITE setMaxColor)
    Q_PROPERTY(QColor FaceColor READ FaceColor WRITE setFaceColor)
    Q_PROPERTY(QColor TicksColor READ TicksColor WRITE setTicksColor)
    Q_PROPERTY(QColor ValueColor READ ValueColor WRITE setValueColor)
    Q_PROPERTY(QColor CaptionColor READ CaptionColor WRITE setCaptionColor)
    Q_PROPERTY(QColor ArrowColor READ ArrowColor WRITE setArrowColor)
    Q_PROPERTY(QColor MarginColor READ MarginColor WRITE setMarginColor)
    Q_PROPERTY(QColor CenterColor READ CenterColor WRITE setCenterColor)
    Q_PROPERTY(QColor CircleColor READ CircleColor WRITE setCircleColor)
    Q_PROPERTY(int CenterRadius READ CenterRadius WRITE setCenterRadius)
    Q_PROPERTY(int CircleRadius READ CircleRadius WRITE setCircleRadius)
    Q_PROPERTY(int Angle READ Angle WRITE setAngle)
    Q_PROPERTY(int Margin READ Margin WRITE setMargin)
    Q_PROPERTY(int ArrowWidth READ ArrowWidth WRITE setArrowWidth)
    Q_PROPERTY(int NumberMainTicks READ NumberMainTicks WRITE setNumberMainTicks)
    Q_PROPERTY(int LengthMainTicks READ LengthMainTicks WRITE setLengthMainTicks)
    Q_PROPERTY(int LengthSubTicks READ LengthSubTicks WRITE setLengthSubTicks)
    Q_PROPERTY(float Position READ Position WRITE setPosition)
    Q_PROPERTY(int Scale READ Scale WRITE setScale)
    Q_PROPERTY(int IndMaximum READ IndMaximum WRITE setIndMaximum)
    Q_PROPERTY(int IndMinimum READ IndMinimum WRITE setIndMinimum)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(int Frames READ Frames)

public:
    explicit TA3nalogGauge(QWidget* parent = nullptr);

    // Colours of the three warning arcs.
    QColor MinColor() const { return minColor_; }
    void setMinColor(const QColor& c) { setFace(minColor_, c); }
    QColor MidColor() const { return midColor_; }
    void setMidColor(const QColor& c) { setFace(midColor_, c); }
    QColor MaxColor() const { return maxColor_; }
    void setMaxColor(const QColor& c) { setFace(maxColor_, c); }
    // Background.
    QColor FaceColor() const { return faceColor_; }
    void setFaceColor(const QColor& c) { setFace(faceColor_, c); }
    QColor TicksColor() const { return ticksColor_; }
    void setTicksColor(const QColor& c) { setFace(ticksColor_, c); }
    QColor ValueColor() const { return valueColor_; }
    void setValueColor(const QColor& c) { setFace(valueColor_, c); }
    QColor CaptionColor() const { return captionColor_; }
    void setCaptionColor(const QColor& c) { setFace(captionColor_, c); }
    // The needle's colour: the face stays as it is.
    QColor ArrowColor() const { return arrowColor_; }
    void setArrowColor(const QColor& c);
    QColor MarginColor() const { return marginColor_; }
    void setMarginColor(const QColor& c) { setFace(marginColor_, c); }
    // The pivot disc.
    QColor CenterColor() const { return centerColor_; }
    void setCenterColor(const QColor& c) { setFace(centerColor_, c); }
    // The dots at the main ticks.
    QColor CircleColor() const { return circleColor_; }
    void setCircleColor(const QColor& c) { setFace(circleColor_, c); }

    int CenterRadius() const { return centerRadius_; }
    void setCenterRadius(int v) { setFace(centerRadius_, v); }
    int CircleRadius() const { return circleRadius_; }
    void setCircleRadius(int v) { setFace(circleRadius_, v); }
    // Degrees the scale sweeps; taken only when 10 < v <= 360. The side
    // styles draw with at most 90 and keep 90 once they have drawn.
    int Angle() const { return angle_; }
    void setAngle(int v);
    int Margin() const { return margin_; }
    void setMargin(int v) { setFace(margin_, v); }
    TStyle Style() const { return style_; }
    void setStyle(TStyle v) { setFace(style_, v); }
    // Clamped to 1..5; redraws the needle only.
    int ArrowWidth() const { return arrowWidth_; }
    void setArrowWidth(int v);
    // Taken when 1..1000 (the ticks and numbers divide by it).
    int NumberMainTicks() const { return numberMainTicks_; }
    void setNumberMainTicks(int v);
    int LengthMainTicks() const { return lengthMainTicks_; }
    void setLengthMainTicks(int v) { setFace(lengthMainTicks_, v); }
    int LengthSubTicks() const { return lengthSubTicks_; }
    void setLengthSubTicks(int v) { setFace(lengthSubTicks_, v); }
    TFaceOptions FaceOptions() const { return faceOptions_; }
    void setFaceOptions(TFaceOptions v) { setFace(faceOptions_, v); }

    // The needle's value; not clamped, so values outside 0..Scale point
    // beyond the ends of the scale. Above IndMaximum raises OnOverMax, below
    // IndMinimum OnOverMin.
    float Position() const { return position_; }
    void setPosition(float v);
    // Full-scale value; taken only when > 1. Then IndMaximum is lowered to
    // Scale - 1 if it is not below Scale, and IndMinimum to Scale - IndMaximum
    // if it exceeds that.
    int Scale() const { return scale_; }
    void setScale(int v);
    // Each taken only when 0 < v < Scale.
    int IndMaximum() const { return indMaximum_; }
    void setIndMaximum(int v);
    int IndMinimum() const { return indMinimum_; }
    void setIndMinimum(int v);
    QString Caption() const { return caption_; }
    void setCaption(const QString& v) { setFace(caption_, v); }
    // The value at the start of the scale (0 by default): the numbers run
    // from it to ScaleStart + Scale, and the needle points at Position there.
    int ScaleStart() const { return scaleStart_; }
    void setScaleStart(int v) { setFace(scaleStart_, v); }
    // Bands along the scale, drawn on the face in order (later over earlier).
    const std::vector<GaugeBand>& Bands() const { return bands_; }
    void setBands(const std::vector<GaugeBand>& v) { setFace(bands_, v); }
    // A thick rim round the control in this colour (a gauge past a
    // threshold); none when invalid. The face and the needle stay as they are.
    QColor AlertColor() const { return alertColor_; }
    void setAlertColor(const QColor& c);
    TAntialiased AntiAliased() const { return antiAliased_; }
    void setAntiAliased(TAntialiased v) { setFace(antiAliased_, v); }

    // Redraws per second, measured on the last redraw.
    int Frames() const { return frames_; }

    // The dial without needle and the dial with it, both k times the
    // control's size; OutputBitmap is the reduced image (anti-aliased only).
    const QImage& FaceBitmap() const { return faceBitmap_; }
    const QImage& WorkBitmap() const { return workBitmap_; }
    const QImage& OutputBitmap() const { return outputBitmap_; }
    // What the control shows.
    const QImage& Picture() const {
        return antiAliased_ == TAntialiased::aaNone ? workBitmap_ : outputBitmap_;
    }

    // The geometry of the bitmaps as they are now.
    GaugeGeometry FaceGeometry() const;
    // How many times the face has been drawn.
    uint64_t FaceDraws() const { return faceDraws_; }

    QSize sizeHint() const override { return {225, 180}; }

signals:
    void OnOverMax();
    void OnOverMin();
    void OnFrames();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    template <typename T> void setFace(T& field, const T& value) {
        if (field == value) return;
        field = value;
        RedrawFace();
    }

    int k() const { return SupersamplingFactor(antiAliased_); }
    // Sizes the bitmaps to the control; true when they had to change.
    bool sizeBitmaps();
    // The face, then the needle.
    void RedrawFace();
    // A copy of the face under a new needle.
    void RedrawNeedle();
    void DrawFace();
    void DrawArrow();
    // Copies the face under the needle (all of it, or where the old and the
    // new needle lie), draws the needle and reduces the result. Returns the
    // part of the control that changed.
    QRect composeNeedle(bool whole);
    // Where the needle and the pivot disc are drawn on WorkBitmap.
    QRect needleBounds() const;
    void measured(int64_t elapsedNanoseconds);

    QColor minColor_, midColor_, maxColor_, faceColor_;
    QColor ticksColor_, valueColor_, captionColor_, arrowColor_, marginColor_;
    QColor centerColor_, circleColor_;
    int centerRadius_ = 8;
    int circleRadius_ = 3;
    int angle_ = 120;
    int margin_ = 10;
    TStyle style_ = TStyle::CenterStyle;
    int arrowWidth_ = 1;
    int numberMainTicks_ = 7;
    int lengthMainTicks_ = 15;
    int lengthSubTicks_ = 8;
    TFaceOptions faceOptions_;
    float position_ = 0;
    int scale_ = 140;
    int indMaximum_ = 80;
    int indMinimum_ = 30;
    QString caption_ = "mV";
    int scaleStart_ = 0;
    std::vector<GaugeBand> bands_;
    QColor alertColor_;
    TAntialiased antiAliased_ = TAntialiased::aaNone;
    int frames_ = 0;

    QImage faceBitmap_, workBitmap_, outputBitmap_;
    QRect needleArea_; // where the needle on WorkBitmap lies
    uint64_t faceDraws_ = 0;
};

} // namespace quillmar
