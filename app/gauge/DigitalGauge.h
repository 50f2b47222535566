#pragma once
// A large digital read-out of one value: its caption above, the number in
// big figures, the unit below, on a panel that turns amber or red when the
// value is past a threshold. Repaints only when the text or the colour
// changes.

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>

namespace quillmar {

class TDigitalGauge : public QWidget {
    Q_OBJECT
public:
    explicit TDigitalGauge(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void setCaption(const QString& v);
    QString Unit() const { return unit_; }
    void setUnit(const QString& v);
    int Decimals() const { return decimals_; }
    void setDecimals(int v);

    // The value shown; nothing shows "--".
    void setValue(std::optional<double> v);
    // The number as shown.
    QString Text() const { return text_; }

    // The panel's colour past a threshold; the face's colour when invalid.
    QColor AlertColor() const { return alertColor_; }
    void setAlertColor(const QColor& c);

    // How many times the read-out asked to be repainted.
    int Repaints() const { return repaints_; }

    QSize sizeHint() const override { return {225, 180}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void changed();

    QString caption_, unit_, text_ = QStringLiteral("--");
    int decimals_ = 0;
    QColor alertColor_;
    int repaints_ = 0;
};

} // namespace quillmar
