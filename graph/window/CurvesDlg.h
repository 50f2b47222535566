#pragma once
// The curves dialog: edits one curve at a time (chosen by number) and gives
// the settings back on OK. The pens are the curves' own, so colour and style
// changes reach the curve at once and Cancel does not undo them.

#include "graph/core/GraphTypes.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace quillmar {

class TCurves;
class TGraph;

struct CurveInfoType {
    bool Enabled = false;
    std::string Name;
    bool ShowMarkers = false;
    uint8_t MarkerKind = 0;
    TPen* MarkerPen = nullptr; // the curve's own
    int32_t MarkerSize = 0;
    double MarkerDivisor = 100;
    bool ShowLine = true;
    TPen* LinePen = nullptr; // the curve's own
    uint8_t YAxis = 1;
};

class TCurvesDlg : public QDialog {
    Q_OBJECT
public:
    // graph: redrawn after OK (may be null).
    TCurvesDlg(QWidget* owner, TGraph* graph);

    void Show(TCurves& curves);
    // Builds CurveInfo from the curves and shows curve 0.
    void dlgshow(TCurves& curves);
    void SetFields();
    void SetInfo();

    int Current() const { return current_; }
    const std::vector<CurveInfoType>& CurveInfo() const { return curveInfo_; }
    // The marker size field holds a whole number from 1 to 20.
    bool MarkerSizeValid() const;
    // What the colour buttons do after their dialog: the shown curve's pen.
    void SetLineColour(TColor colour);
    void SetMarkerColour(TColor colour);

    QSpinBox* dlgCurveNumber = nullptr; // with its spinner (UpDown1)
    QCheckBox* dlgCurveEnabled = nullptr;
    QGroupBox* CurveNameBox = nullptr;
    QLineEdit* dlgCurveName = nullptr;
    QGroupBox* dlgyAxisRadioGroup = nullptr;
    QRadioButton* dlgPrimary = nullptr;
    QRadioButton* dlgSecondary = nullptr;
    QCheckBox* dlgMarkersEnabled = nullptr;
    QComboBox* dlgMarkerShape = nullptr;
    QSpinBox* dlgMarkerSize = nullptr; // with its spinner (UpDown2)
    QPushButton* dlgMarkerColour = nullptr;
    QCheckBox* dlgLineEnabled = nullptr;
    QComboBox* dlgLineStyle = nullptr;
    QPushButton* dlgLineColour = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

public slots:
    void OKBtnClick();
    void CancelBtnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fillLists();
    void numberChanged(int number);
    TPen* shownPen(bool line) const;
    void chooseColour(bool line);

    TGraph* graph_ = nullptr;
    TCurves* curvesRef_ = nullptr;
    int current_ = 0;
    std::vector<CurveInfoType> curveInfo_;
};

} // namespace quillmar
