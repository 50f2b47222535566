#include "graph/window/SelectCurveDlg.h"

#include "graph/core/Curves.h"
#include "graph/draw/Canvas.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quillmar {

TSelectCurveDlg::TSelectCurveDlg(QWidget* owner) : QDialog(owner) {
    setObjectName("SelectCurveDlg");
    setWindowTitle("Select curve");
    dlgCurveNumber = new QSpinBox(this);
    dlgCurveNumber->setObjectName("dlgCurveNumber");
    dlgCurveNumber->setRange(0, 9999);
    dlgCurveNumber->setKeyboardTracking(false);
    dlgCurveName = new QLineEdit(this);
    dlgCurveName->setObjectName("dlgCurveName");
    dlgCurveName->setReadOnly(true);
    dlgCurveName->setFrame(false);
    dlgCurveName->setMinimumWidth(200);
    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton("Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(dlgCurveNumber, &QSpinBox::valueChanged, this, &TSelectCurveDlg::NumberChanged);
    auto* form = new QFormLayout;
    form->addRow("Curve Number", dlgCurveNumber);
    form->addRow("Name", dlgCurveName);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TSelectCurveDlg::showCurve(int index) {
    const QSignalBlocker blocker(dlgCurveNumber);
    dlgCurveNumber->setValue(index);
    dlgCurveName->setText(curvesRef_ && index >= 0 && index < curvesRef_->Count()
                              ? toQString(curvesRef_->GetCurve(index).Name)
                              : QString());
}

void TSelectCurveDlg::Prepare(TCurves& curves) {
    curvesRef_ = &curves;
    current_ = 0;
    showCurve(0);
}

void TSelectCurveDlg::NumberChanged(int number) {
    const int n = current_;
    const int count = curvesRef_ ? curvesRef_->Count() : 0;
    const int d = number - n;
    if (d != 0) {
        for (int m = number; m >= 0 && m < count && m != n; m += d) {
            if (curvesRef_->GetCurve(m).Enabled) {
                current_ = m;
                break;
            }
        }
    }
    showCurve(current_);
}

} // namespace quillmar
