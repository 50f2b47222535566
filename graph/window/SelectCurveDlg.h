#pragma once
// The curve chooser of point selection (window-modal: the graph opens it and
// goes on with its answer). Its spinner skips disabled curves.

#include <QDialog>

class QLineEdit;
class QPushButton;
class QSpinBox;

namespace quillmar {

class TCurves;

class TSelectCurveDlg : public QDialog {
    Q_OBJECT
public:
    explicit TSelectCurveDlg(QWidget* owner);

    // Shows curves, the first one chosen, before the dialog opens.
    void Prepare(TCurves& curves);
    // The number typed or stepped to: moves to the first enabled curve from
    // there in the direction of the change, or back to the current one.
    void NumberChanged(int number);
    int Current() const { return current_; }
    int Result() const { return result() == QDialog::Accepted ? current_ + 1 : -1; }

    QSpinBox* dlgCurveNumber = nullptr; // with its spinner
    QLineEdit* dlgCurveName = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

private:
    void showCurve(int index);

    TCurves* curvesRef_ = nullptr;
    int current_ = 0;
};

} // namespace quillmar
