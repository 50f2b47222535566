#pragma once
// The legend settings window. Nothing draws a legend yet; its font follows
// the layout like the other fonts (divisor 30).

#include "graph/core/GraphTypes.h"

#include <QDialog>

class QCheckBox;
class QPushButton;
class QRadioButton;

namespace quillmar {

class TGraphLegend : public QDialog {
    Q_OBJECT
public:
    explicit TGraphLegend(QWidget* owner);

    TFont Font;
    uint16_t FontDivisor = 30;

    QCheckBox* dlgEnabled = nullptr;
    QRadioButton* dlgBottom = nullptr;
    QRadioButton* dlgRight = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* FontButton = nullptr;
};

} // namespace quillmar
