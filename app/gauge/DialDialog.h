#pragma once
// The "Dials" window: manifold pressure and engine speed on two analog
// gauges, and the two logging commands of the acquisition window.

#include <QDialog>

class QAction;
class QToolButton;

namespace quillmar {

class TA3nalogGauge;

class TDialDialog : public QDialog {
    Q_OBJECT
public:
    // The buttons trigger startLogging and stopLogging and follow their text
    // and enabled state; either may be null (no button then does anything).
    TDialDialog(QAction* startLogging, QAction* stopLogging, QWidget* parent = nullptr);

    // One acquisition tick: the manifold pressure in bar (shown x 100, so
    // 1.00 bar points at 100 of 200) and the engine speed in rpm.
    void setPositions(double manifoldPressure, double engineSpeed);
    // The same with the needle positions as the acquisition hands them out:
    // the pressure already x 100.
    void setGaugePositions(float boost, float engineSpeed);

    TA3nalogGauge* dlgBoostDial = nullptr;
    TA3nalogGauge* dlgRPMDial = nullptr;
    QToolButton* StartLoggingButton = nullptr;
    QToolButton* StopLoggingButton = nullptr;
};

} // namespace quillmar
