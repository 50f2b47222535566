#include "graph/window/CurvesDlg.h"

#include "graph/core/Curves.h"
#include "graph/draw/Canvas.h"
#include "graph/window/Graph.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace quillmar {

TCurvesDlg::TCurvesDlg(QWidget* owner, TGraph* graph) : QDialog(owner), graph_(graph) {
    setObjectName("CurvesDlg");
    setWindowTitle("Curves");

    dlgCurveNumber = new QSpinBox(this);
    dlgCurveNumber->setObjectName("dlgCurveNumber");
    dlgCurveNumber->setRange(0, 9999);
    dlgCurveNumber->setKeyboardTracking(false);
    dlgCurveEnabled = new QCheckBox("Enabled", this);
    dlgCurveEnabled->setObjectName("dlgCurveEnabled");
    dlgCurveEnabled->setChecked(true);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Curve Number", this));
    top->addWidget(dlgCurveNumber);
    top->addSpacing(16);
    top->addWidget(dlgCurveEnabled);
    top->addStretch();

    CurveNameBox = new QGroupBox(this);
    CurveNameBox->setObjectName("CurveNameBox");
    dlgCurveName = new QLineEdit(CurveNameBox);
    dlgCurveName->setObjectName("dlgCurveName");
    dlgCurveName->setMinimumWidth(240);
    auto* nameLayout = new QFormLayout(CurveNameBox);
    nameLayout->addRow("Name", dlgCurveName);

    dlgyAxisRadioGroup = new QGroupBox("y-Axis", this);
    dlgyAxisRadioGroup->setObjectName("dlgyAxisRadioGroup");
    dlgPrimary = new QRadioButton("Primary", dlgyAxisRadioGroup);
    dlgPrimary->setObjectName("dlgPrimary");
    dlgPrimary->setChecked(true);
    dlgSecondary = new QRadioButton("Secondary", dlgyAxisRadioGroup);
    dlgSecondary->setObjectName("dlgSecondary");
    auto* axisLayout = new QHBoxLayout(dlgyAxisRadioGroup);
    axisLayout->addWidget(dlgPrimary);
    axisLayout->addWidget(dlgSecondary);

    auto* points = new QGroupBox("Points", this);
    dlgMarkersEnabled = new QCheckBox("Enabled", points);
    dlgMarkersEnabled->setObjectName("dlgMarkersEnabled");
    dlgMarkersEnabled->setChecked(true);
    dlgMarkerShape = new QComboBox(points);
    dlgMarkerShape->setObjectName("dlgMarkerShape");
    dlgMarkerSize = new QSpinBox(points);
    dlgMarkerSize->setObjectName("dlgMarkerSize");
    dlgMarkerSize->setRange(0, 999);
    dlgMarkerSize->setValue(1);
    dlgMarkerSize->installEventFilter(this);
    dlgMarkerColour = new QPushButton("Colour", points);
    dlgMarkerColour->setObjectName("dlgMarkerColour");
    auto* pointsLayout = new QFormLayout(points);
    pointsLayout->addRow(dlgMarkersEnabled);
    pointsLayout->addRow("Shape", dlgMarkerShape);
    pointsLayout->addRow("Size", dlgMarkerSize);
    pointsLayout->addRow(dlgMarkerColour);

    auto* lines = new QGroupBox("Lines", this);
    dlgLineEnabled = new QCheckBox("Enabled", lines);
    dlgLineEnabled->setObjectName("dlgLineEnabled");
    dlgLineEnabled->setChecked(true);
    dlgLineStyle = new QComboBox(lines);
    dlgLineStyle->setObjectName("dlgLineStyle");
    dlgLineColour = new QPushButton("Colour", lines);
    dlgLineColour->setObjectName("dlgLineColour");
    auto* linesLayout = new QFormLayout(lines);
    linesLayout->addRow(dlgLineEnabled);
    linesLayout->addRow("Style", dlgLineStyle);
    linesLayout->addRow(dlgLineColour);

    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton("Cancel", this);
    CancelBtn->setObjectName("CancelBtn");

    auto* groups = new QHBoxLayout;
    groups->addWidget(points);
    groups->addWidget(lines);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(CurveNameBox);
    layout->addWidget(dlgyAxisRadioGroup);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(dlgCurveNumber, &QSpinBox::valueChanged, this, &TCurvesDlg::numberChanged);
    connect(OKBtn, &QPushButton::clicked, this, &TCurvesDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TCurvesDlg::CancelBtnClick);
    connect(dlgLineColour, &QPushButton::clicked, this, [this] { chooseColour(true); });
    connect(dlgMarkerColour, &QPushButton::clicked, this, [this] { chooseColour(false); });
}

void TCurvesDlg::fillLists() {
    // Filled once, on the first showing.
    if (dlgMarkerShape->count() == 0)
        for (const char* name : MarkerKindNames)
            dlgMarkerShape->addItem(name);
    if (dlgLineStyle->count() == 0)
        for (const char* name : LineStyleNames)
            dlgLineStyle->addItem(name);
}

void TCurvesDlg::showEvent(QShowEvent* event) {
    fillLists();
    SetFields();
    QDialog::showEvent(event);
}

void TCurvesDlg::dlgshow(TCurves& curves) {
    curvesRef_ = &curves;
    curveInfo_.clear();
    for (int i = 0; i < curves.Count(); ++i) {
        TCurve& c = curves.GetCurve(i);
        CurveInfoType info;
        info.Enabled = c.Enabled;
        info.Name = c.Name;
        info.ShowMarkers = c.ShowMarkers;
        info.MarkerKind = c.MarkerKind;
        info.MarkerPen = &c.MarkerPen;
        info.MarkerSize = c.MarkerSize;
        info.MarkerDivisor = c.MarkerDivisor;
        info.ShowLine = c.ShowLine;
        info.LinePen = &c.LinePen;
        info.YAxis = c.YAxis;
        curveInfo_.push_back(info);
    }
    current_ = 0;
    fillLists();
    SetFields();
}

void TCurvesDlg::Show(TCurves& curves) {
    dlgshow(curves);
    show();
    raise();
    activateWindow();
}

void TCurvesDlg::SetFields() {
    if (current_ < 0 || current_ >= static_cast<int>(curveInfo_.size())) return;
    const CurveInfoType& info = curveInfo_[static_cast<std::size_t>(current_)];
    {
        const QSignalBlocker blocker(dlgCurveNumber);
        dlgCurveNumber->setValue(current_);
    }
    dlgCurveEnabled->setChecked(info.Enabled);
    dlgCurveName->setText(toQString(info.Name));
    dlgMarkersEnabled->setChecked(info.ShowMarkers);
    if (info.MarkerKind < dlgMarkerShape->count()) dlgMarkerShape->setCurrentIndex(info.MarkerKind);
    (info.YAxis == 2 ? dlgSecondary : dlgPrimary)->setChecked(true);
    dlgMarkerSize->setValue(info.MarkerSize);
    dlgLineEnabled->setChecked(info.ShowLine);
    if (const TPen* pen = shownPen(true)) {
        const int style = static_cast<int>(pen->Style);
        if (style >= 0 && style <= 4) dlgLineStyle->setCurrentIndex(style);
    }
}

void TCurvesDlg::SetInfo() {
    if (current_ < 0 || current_ >= static_cast<int>(curveInfo_.size())) return;
    CurveInfoType& info = curveInfo_[static_cast<std::size_t>(current_)];
    info.Enabled = dlgCurveEnabled->isChecked();
    info.Name = dlgCurveName->text().toStdString();
    info.ShowMarkers = dlgMarkersEnabled->isChecked();
    if (dlgMarkerShape->currentIndex() >= 0)
        info.MarkerKind = static_cast<uint8_t>(dlgMarkerShape->currentIndex());
    info.ShowLine = dlgLineEnabled->isChecked();
    info.YAxis = dlgSecondary->isChecked() ? 2 : 1;
    if (TPen* pen = shownPen(true); pen && dlgLineStyle->currentIndex() >= 0)
        pen->Style = static_cast<TPenStyle>(dlgLineStyle->currentIndex());
    // The drawn marker stays proportional to the window: the size comes from
    // client height / divisor, so the divisor takes the inverse ratio. A size
    // of 0 on either side would divide by zero or lose the divisor: then
    // both stay as they were.
    bool ok = false;
    const int n = dlgMarkerSize->cleanText().toInt(&ok);
    if (ok && n > 0 && info.MarkerSize > 0) {
        const double ratio = static_cast<double>(info.MarkerSize) / n;
        info.MarkerSize = n;
        info.MarkerDivisor *= ratio;
    }
}

bool TCurvesDlg::MarkerSizeValid() const {
    bool ok = false;
    const int n = dlgMarkerSize->cleanText().toInt(&ok);
    return ok && n >= 1 && n <= 20;
}

void TCurvesDlg::numberChanged(int number) {
    if (number >= 0 && number < static_cast<int>(curveInfo_.size()) && number != current_) {
        SetInfo();
        current_ = number;
    }
    SetFields();
}

bool TCurvesDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dlgMarkerSize && event->type() == QEvent::FocusOut && !MarkerSizeValid())
        QTimer::singleShot(0, dlgMarkerSize, [this] { dlgMarkerSize->setFocus(); });
    return QDialog::eventFilter(watched, event);
}

TPen* TCurvesDlg::shownPen(bool line) const {
    // Through the collection rather than the kept pointers: the curves may
    // have been rebuilt while the dialog was open.
    if (!curvesRef_ || current_ < 0 || current_ >= curvesRef_->Count() ||
        current_ >= static_cast<int>(curveInfo_.size()))
        return nullptr;
    TCurve& curve = curvesRef_->GetCurve(current_);
    return line ? &curve.LinePen : &curve.MarkerPen;
}

void TCurvesDlg::SetLineColour(TColor colour) {
    if (TPen* pen = shownPen(true)) pen->Color = colour;
}

void TCurvesDlg::SetMarkerColour(TColor colour) {
    if (TPen* pen = shownPen(false)) pen->Color = colour;
}

void TCurvesDlg::chooseColour(bool line) {
    TPen* pen = shownPen(line);
    if (!pen) return;
    const QColor colour = QColorDialog::getColor(toQColor(pen->Color), this, "Colour");
    if (!colour.isValid()) return;
    if (line)
        SetLineColour(fromQColor(colour));
    else
        SetMarkerColour(fromQColor(colour));
}

void TCurvesDlg::OKBtnClick() {
    SetInfo();
    if (curvesRef_) {
        const int count = std::min<int>(curvesRef_->Count(), static_cast<int>(curveInfo_.size()));
        for (int i = 0; i < count; ++i) {
            TCurve& c = curvesRef_->GetCurve(i);
            const CurveInfoType& info = curveInfo_[static_cast<std::size_t>(i)];
            c.Enabled = info.Enabled;
            c.Name = info.Name;
            c.ShowMarkers = info.ShowMarkers;
            c.MarkerKind = info.MarkerKind;
            c.MarkerSize = info.MarkerSize;
            c.MarkerDivisor = info.MarkerDivisor;
            c.ShowLine = info.ShowLine;
            c.YAxis = info.YAxis;
        }
    }
    if (graph_) graph_->DrawScreen();
    accept();
    hide();
}

void TCurvesDlg::CancelBtnClick() {
    reject();
    hide();
}

} // namespace quillmar
