#include "graph/window/AxesDlg.h"

#include "graph/draw/Canvas.h"
#include "graph/window/Graph.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QEvent>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace quillmar {

namespace {

QLineEdit* edit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

QCheckBox* check(QWidget* parent, const char* name, const QString& caption) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    return c;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// Label, unit, the two ranges with their auto boxes, log scale, colour and font.
QGridLayout* axisGrid(QWidget* parent, QLineEdit* label, QLineEdit* unit, QCheckBox* autoMin, QLineEdit* min,
                      QCheckBox* autoMax, QLineEdit* max, QCheckBox* log, QPushButton* colour,
                      QPushButton* font) {
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Label", parent), 0, 0);
    grid->addWidget(label, 0, 1, 1, 3);
    grid->addWidget(new QLabel("Unit", parent), 1, 0);
    grid->addWidget(unit, 1, 1, 1, 3);
    grid->addWidget(new QLabel("Minimum", parent), 2, 0);
    grid->addWidget(min, 2, 1);
    grid->addWidget(autoMin, 2, 2);
    grid->addWidget(new QLabel("Maximun", parent), 3, 0);
    grid->addWidget(max, 3, 1);
    grid->addWidget(autoMax, 3, 2);
    auto* row = new QHBoxLayout;
    row->addWidget(log);
    row->addStretch();
    row->addWidget(colour);
    row->addWidget(font);
    grid->addLayout(row, 4, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    return grid;
}

} // namespace

TAxesDlg::TAxesDlg(QWidget* owner, TGraph* graph)
    : QDialog(owner, Qt::Dialog | Qt::WindowStaysOnTopHint), graph_(graph) {
    setObjectName("AxesDlg");
    setWindowTitle("Axes");

    auto* title = new QGroupBox("Title", this);
    dlgAxesTitle1 = edit(title, "dlgAxesTitle1");
    dlgAxesTitle2 = edit(title, "dlgAxesTitle2");
    dlgTitleFont = button(title, "dlgTitleFont", "Font");
    dlgLegend = check(title, "dlgLegend", "Legend");
    auto* titleGrid = new QGridLayout(title);
    titleGrid->addWidget(new QLabel("Line 1", title), 0, 0);
    titleGrid->addWidget(dlgAxesTitle1, 0, 1);
    titleGrid->addWidget(new QLabel("Line 2", title), 1, 0);
    titleGrid->addWidget(dlgAxesTitle2, 1, 1);
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(dlgLegend);
    titleRow->addStretch();
    titleRow->addWidget(dlgTitleFont);
    titleGrid->addLayout(titleRow, 2, 0, 1, 2);
    titleGrid->setColumnStretch(1, 1);

    auto* xBox = new QGroupBox("x-Axis", this);
    dlgxLabel = edit(xBox, "dlgxLabel");
    dlgxUnit = edit(xBox, "dlgxUnit");
    dlgAutoScalexMin = check(xBox, "dlgAutoScalexMin", "Auto");
    dlgAutoScalexmax = check(xBox, "dlgAutoScalexmax", "Auto");
    dlgxMin = edit(xBox, "dlgxMin");
    dlgxMax = edit(xBox, "dlgxMax");
    dlgxScale = check(xBox, "dlgxScale", "Log scale");
    dlgxColour = button(xBox, "dlgxColour", "Colour");
    dlgxFont = button(xBox, "dlgxFont", "Font");
    xBox->setLayout(axisGrid(xBox, dlgxLabel, dlgxUnit, dlgAutoScalexMin, dlgxMin, dlgAutoScalexmax, dlgxMax,
                             dlgxScale, dlgxColour, dlgxFont));

    auto* yBox = new QGroupBox(this);
    TabControl1 = new QTabBar(this);
    TabControl1->setObjectName("TabControl1");
    TabControl1->addTab("Primary y-Axis");
    TabControl1->addTab("Secondary y-Axis");
    TabControl1->setDrawBase(false);
    dlgyLabel = edit(yBox, "dlgyLabel");
    dlgyUnit = edit(yBox, "dlgyUnit");
    dlgAutoScaleyMin = check(yBox, "dlgAutoScaleyMin", "Auto");
    dlgAutoScaleyMax = check(yBox, "dlgAutoScaleyMax", "Auto");
    dlgymin = edit(yBox, "dlgymin");
    dlgymax = edit(yBox, "dlgymax");
    dlgyScale = check(yBox, "dlgyScale", "Log scale");
    dlgycolour = button(yBox, "dlgycolour", "Colour");
    dlgyfont = button(yBox, "dlgyfont", "Font");
    yBox->setLayout(axisGrid(yBox, dlgyLabel, dlgyUnit, dlgAutoScaleyMin, dlgymin, dlgAutoScaleyMax, dlgymax,
                             dlgyScale, dlgycolour, dlgyfont));

    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton("Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    CancelBtn->setAutoDefault(false);

    auto* yColumn = new QVBoxLayout;
    yColumn->setSpacing(0);
    yColumn->addWidget(TabControl1);
    yColumn->addWidget(yBox);
    auto* axesRow = new QHBoxLayout;
    axesRow->addWidget(xBox);
    axesRow->addLayout(yColumn);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(axesRow);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QCheckBox* box : {dlgAutoScalexMin, dlgAutoScalexmax, dlgAutoScaleyMin, dlgAutoScaleyMax}) {
        connect(box, &QCheckBox::clicked, this, [this, box] { autoClicked(box); });
        box->installEventFilter(this);
    }
    for (QLineEdit* e : {dlgxMin, dlgxMax, dlgymin, dlgymax})
        e->installEventFilter(this);
    connect(TabControl1, &QTabBar::currentChanged, this, &TAxesDlg::tabChanged);
    connect(dlgTitleFont, &QPushButton::clicked, this, [this] { chooseFont(0); });
    connect(dlgxFont, &QPushButton::clicked, this, [this] { chooseFont(1); });
    connect(dlgyfont, &QPushButton::clicked, this, [this] { chooseFont(2); });
    connect(dlgxColour, &QPushButton::clicked, this, [this] { chooseColour(1); });
    connect(dlgycolour, &QPushButton::clicked, this, [this] { chooseColour(2); });
    connect(OKBtn, &QPushButton::clicked, this, &TAxesDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TAxesDlg::CancelBtnClick);
}

TAxesDlg::~TAxesDlg() = default;

TAxis& TAxesDlg::yAxis() {
    return working_->Axis(yAxisIndex_);
}

void TAxesDlg::prepare(TAxes& axes) {
    target_ = &axes;
    working_ = std::make_unique<TAxes>();
    working_->Assign(axes);
    yAxisIndex_ = 1;
    {
        const QSignalBlocker blocker(TabControl1);
        TabControl1->setCurrentIndex(0);
    }
    SetFields();
}

void TAxesDlg::Show(TAxes& axes) {
    prepare(axes);
    show();
    raise();
    activateWindow();
}

void TAxesDlg::SetFields() {
    if (!working_) return;
    TAxis& x = working_->Axis(0);
    TAxis& y = yAxis();
    dlgAxesTitle1->setText(toQString(working_->Title.Line1));
    dlgAxesTitle2->setText(toQString(working_->Title.Line2));
    dlgLegend->setChecked(working_->Title.ShowLegend);
    dlgxLabel->setText(toQString(x.Label));
    dlgxUnit->setText(toQString(x.Units));
    dlgAutoScalexMin->setChecked(x.AutoScaleMin);
    dlgAutoScalexmax->setChecked(x.AutoScaleMax);
    dlgxMin->setText(QString::fromStdString(x.RangeText(x.Info.RangeMin.LiteralValue)));
    dlgxMax->setText(QString::fromStdString(x.RangeText(x.Info.RangeMax.LiteralValue)));
    dlgxMin->setEnabled(!x.AutoScaleMin);
    dlgxMax->setEnabled(!x.AutoScaleMax);
    dlgyLabel->setText(toQString(y.Label));
    dlgyUnit->setText(toQString(y.Units));
    dlgAutoScaleyMin->setChecked(y.AutoScaleMin);
    dlgAutoScaleyMax->setChecked(y.AutoScaleMax);
    dlgymin->setText(QString::fromStdString(y.RangeText(y.Info.RangeMin.LiteralValue)));
    dlgymax->setText(QString::fromStdString(y.RangeText(y.Info.RangeMax.LiteralValue)));
    dlgymin->setEnabled(!y.AutoScaleMin);
    dlgymax->setEnabled(!y.AutoScaleMax);
    dlgxScale->setChecked(x.Scaling == LogScale);
    dlgyScale->setChecked(y.Scaling == LogScale);
}

void TAxesDlg::SetInfo() {
    if (!working_) return;
    TAxis& x = working_->Axis(0);
    TAxis& y = yAxis();
    working_->Title.Line1 = dlgAxesTitle1->text().toStdString();
    working_->Title.Line2 = dlgAxesTitle2->text().toStdString();
    working_->Title.ShowLegend = dlgLegend->isChecked();
    x.Label = dlgxLabel->text().toStdString();
    x.Units = dlgxUnit->text().toStdString();
    y.Label = dlgyLabel->text().toStdString();
    y.Units = dlgyUnit->text().toStdString();
    x.SetScaleType(dlgxScale->isChecked() ? LogScale : LinearScale);
    y.SetScaleType(dlgyScale->isChecked() ? LogScale : LinearScale);
}

void TAxesDlg::autoClicked(QCheckBox* box) {
    if (!working_) return;
    const bool on = box->isChecked();
    if (box == dlgAutoScalexMin) {
        dlgxMin->setEnabled(!on);
        working_->Axis(0).AutoScaleMin = on;
    } else if (box == dlgAutoScalexmax) {
        dlgxMax->setEnabled(!on);
        working_->Axis(0).AutoScaleMax = on;
    } else if (box == dlgAutoScaleyMin) {
        dlgymin->setEnabled(!on);
        yAxis().AutoScaleMin = on;
    } else if (box == dlgAutoScaleyMax) {
        dlgymax->setEnabled(!on);
        yAxis().AutoScaleMax = on;
    }
}

bool TAxesDlg::rangeEdited(QLineEdit* e) {
    if (!working_) return true;
    bool ok = false;
    const double v = e->text().trimmed().toDouble(&ok); // decimal point, optional exponent
    if (!ok || !std::isfinite(v)) return false;
    if (e == dlgxMin)
        working_->Axis(0).Info.RangeMin.SetLiteralValue(v);
    else if (e == dlgxMax)
        working_->Axis(0).Info.RangeMax.SetLiteralValue(v);
    else if (e == dlgymin)
        yAxis().Info.RangeMin.SetLiteralValue(v);
    else if (e == dlgymax)
        yAxis().Info.RangeMax.SetLiteralValue(v);
    return true;
}

bool TAxesDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (auto* box = qobject_cast<QCheckBox*>(watched)) {
            autoClicked(box);
        } else if (auto* e = qobject_cast<QLineEdit*>(watched)) {
            // Only a typed text is read: a shown value is rounded to three digits.
            if (e->isModified() && !rangeEdited(e)) QTimer::singleShot(0, e, [e] { e->setFocus(); });
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAxesDlg::tabChanged(int index) {
    SetInfo(); // the page shown so far, into its axis
    yAxisIndex_ = index == 1 ? 2 : 1;
    SetFields();
}

void TAxesDlg::ApplyFont(int which, const QFont& font) {
    if (!working_) return;
    TFont* target = nullptr;
    uint16_t* divisor = nullptr;
    if (which == 0) {
        target = &working_->Title.Font;
        divisor = &working_->Title.FontDivisor;
    } else {
        TAxis& a = which == 1 ? working_->Axis(0) : yAxis();
        target = &a.Font;
        divisor = &a.FontDivisor;
    }
    const int s0 = target->Size();
    const int s1 = font.pointSize() > 0 ? font.pointSize() : static_cast<int>(std::lround(font.pointSizeF()));
    target->Name = font.family().toStdString();
    target->Style =
        static_cast<uint8_t>((font.bold() ? fsBold : 0) | (font.italic() ? fsItalic : 0) |
                             (font.underline() ? fsUnderline : 0) | (font.strikeOut() ? fsStrikeOut : 0));
    if (s1 > 0) {
        target->SetSize(s1);
        if (s0 != 0) {
            const long double d = roundEven(std::abs(static_cast<long double>(s0) / s1) * *divisor);
            *divisor = static_cast<uint16_t>(std::clamp<long double>(d, 1, 65535));
        }
    }
}

void TAxesDlg::chooseFont(int which) {
    if (!working_) return;
    TFont& current = which == 0 ? working_->Title.Font : (which == 1 ? working_->Axis(0) : yAxis()).Font;
    if (which == 0 && current.Size() < 0 && current.Height > 0) {
        // A height set by the layout reads as a negative size: flip both.
        current.Height = -current.Height;
    }
    QFont initial = toQFont(current);
    initial.setPointSize(std::max(std::abs(current.Size()), 1));
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, this, "Font");
    if (ok) ApplyFont(which, chosen);
}

void TAxesDlg::ApplyColour(int which, TColor colour) {
    if (!working_) return;
    (which == 1 ? working_->Axis(0) : yAxis()).Pen.Color = colour;
}

void TAxesDlg::chooseColour(int which) {
    if (!working_) return;
    const TPen& pen = (which == 1 ? working_->Axis(0) : yAxis()).Pen;
    const QColor colour = QColorDialog::getColor(toQColor(pen.Color), this, "Colour");
    if (colour.isValid()) ApplyColour(which, fromQColor(colour));
}

void TAxesDlg::OKBtnClick() {
    if (!working_ || !target_) {
        hide();
        return;
    }
    // Enter on an edit presses OK without leaving the edit: read the ranges
    // still being typed, refusing a text that is not a number.
    for (QLineEdit* e : {dlgxMin, dlgxMax, dlgymin, dlgymax}) {
        if (e->isEnabled() && e->isModified() && !rangeEdited(e)) {
            e->setFocus();
            return;
        }
    }
    SetInfo();
    target_->Assign(*working_);
    if (graph_) graph_->DrawScreen();
    accept();
    hide();
}

void TAxesDlg::CancelBtnClick() {
    reject();
    hide();
    working_.reset();
}

} // namespace quillmar
