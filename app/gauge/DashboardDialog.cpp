#include "app/gauge/DashboardDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace quillmar {

namespace {

// A number box that shows no trailing zeros ("8000", "12.5").
class NumberBox : public QDoubleSpinBox {
public:
    using QDoubleSpinBox::QDoubleSpinBox;

protected:
    QString textFromValue(double value) const override {
        QString text = locale().toString(value, 'f', decimals());
        if (!isGroupSeparatorShown()) text.remove(locale().groupSeparator());
        if (text.contains(locale().decimalPoint())) {
            while (text.endsWith('0'))
                text.chop(1);
            if (text.endsWith(locale().decimalPoint())) text.chop(1);
        }
        return text;
    }
};

QDoubleSpinBox* numberBox(QWidget* parent, int decimals) {
    auto* box = new NumberBox(parent);
    box->setRange(-1e6, 1e6);
    box->setDecimals(decimals);
    box->setAccelerated(true);
    return box;
}

QString gaugeLine(size_t index, const GaugeSpec& g) {
    const QString caption = QString::fromStdString(g.shownCaption());
    const QString parameter = QString::fromStdString(g.Parameter);
    QString line = QString("%1. %2").arg(index + 1).arg(caption);
    if (caption != parameter) line += QString::fromUtf8(" \u2013 ") + parameter;
    line += g.Kind == GaugeKind::Dial ? " (dial)" : " (digital)";
    return line;
}

} // namespace

TDashboardDialog::TDashboardDialog(const DashboardLayout& layout, std::vector<GaugeParameter> parameters,
                                   QWidget* parent)
    : QDialog(parent), parameters_(std::move(parameters)) {
    setObjectName("DashboardDialog");
    setWindowTitle("Dials layout");
    buildControls();
    setLayout(layout);
}

void TDashboardDialog::buildControls() {
    auto* gauges = new QGroupBox("Gauges", this);
    auto* left = new QVBoxLayout(gauges);
    GaugeList = new QListWidget(gauges);
    GaugeList->setObjectName("GaugeList");
    GaugeList->setMinimumWidth(260);
    left->addWidget(GaugeList, 1);
    auto* order = new QHBoxLayout;
    AddButton = new QPushButton("Add", gauges);
    RemoveButton = new QPushButton("Remove", gauges);
    UpButton = new QPushButton("Up", gauges);
    DownButton = new QPushButton("Down", gauges);
    for (QPushButton* b : {AddButton, RemoveButton, UpButton, DownButton})
        order->addWidget(b);
    left->addLayout(order);
    auto* grid = new QFormLayout;
    ColumnsBox = new QSpinBox(gauges);
    ColumnsBox->setObjectName("ColumnsBox");
    ColumnsBox->setRange(1, MaxDashboardColumns);
    SizeBox = new QSpinBox(gauges);
    SizeBox->setObjectName("SizeBox");
    SizeBox->setRange(MinGaugeSize, MaxGaugeSize);
    SizeBox->setSingleStep(5);
    SizeBox->setSuffix(" pixels");
    grid->addRow("Columns", ColumnsBox);
    grid->addRow("Gauge size", SizeBox);
    left->addLayout(grid);

    auto* gauge = new QGroupBox("Gauge", this);
    auto* form = new QFormLayout(gauge);
    ParameterBox = new QComboBox(gauge);
    ParameterBox->setObjectName("ParameterBox");
    ParameterBox->setMaxVisibleItems(20);
    for (const GaugeParameter& p : parameters_)
        ParameterBox->addItem(QString::fromStdString(p.Name));
    KindBox = new QComboBox(gauge);
    KindBox->setObjectName("KindBox");
    KindBox->addItems({"Dial", "Digital read-out"});
    CaptionEdit = new QLineEdit(gauge);
    CaptionEdit->setObjectName("CaptionEdit");
    UnitEdit = new QLineEdit(gauge);
    UnitEdit->setObjectName("UnitEdit");
    MinimumBox = numberBox(gauge, 3);
    MinimumBox->setObjectName("MinimumBox");
    MaximumBox = numberBox(gauge, 3);
    MaximumBox->setObjectName("MaximumBox");
    auto* range = new QHBoxLayout;
    range->addWidget(MinimumBox, 1);
    range->addWidget(new QLabel("to", gauge));
    range->addWidget(MaximumBox, 1);
    MultiplierBox = numberBox(gauge, 4);
    MultiplierBox->setObjectName("MultiplierBox");
    MultiplierBox->setToolTip("The parameter's value times this is shown (bar x 100 gives whole numbers)");
    StyleBox = new QComboBox(gauge);
    StyleBox->setObjectName("StyleBox");
    StyleBox->addItems({"Pivot bottom left", "Pivot bottom right", "Pivot in the middle"});
    SweepBox = new QSpinBox(gauge);
    SweepBox->setObjectName("SweepBox");
    SweepBox->setRange(11, 360);
    SweepBox->setSuffix(QString::fromUtf8("\u00b0"));
    TicksBox = new QSpinBox(gauge);
    TicksBox->setObjectName("TicksBox");
    TicksBox->setRange(1, MaxMainTicks);
    DecimalsBox = new QSpinBox(gauge);
    DecimalsBox->setObjectName("DecimalsBox");
    DecimalsBox->setRange(0, 6);
    const auto threshold = [&](const char* name, QCheckBox*& check, QComboBox*& side,
                               QDoubleSpinBox*& value) {
        auto* row = new QHBoxLayout;
        check = new QCheckBox(gauge);
        check->setObjectName(QString(name) + "Check");
        side = new QComboBox(gauge);
        side->setObjectName(QString(name) + "SideBox");
        side->addItems({"above", "below"});
        value = numberBox(gauge, 3);
        value->setObjectName(QString(name) + "Box");
        row->addWidget(check);
        row->addWidget(side);
        row->addWidget(value, 1);
        return row;
    };
    form->addRow("Parameter", ParameterBox);
    form->addRow("Shown as", KindBox);
    form->addRow("Caption", CaptionEdit);
    form->addRow("Unit", UnitEdit);
    form->addRow("Scale", range);
    form->addRow("Multiplier", MultiplierBox);
    form->addRow("Dial", StyleBox);
    form->addRow("Sweep", SweepBox);
    form->addRow("Numbered ticks", TicksBox);
    form->addRow("Decimals", DecimalsBox);
    form->addRow("Warning", threshold("Warning", WarningCheck, WarningSideBox, WarningBox));
    form->addRow("Danger", threshold("Danger", DangerCheck, DangerSideBox, DangerBox));

    ProblemLabel = new QLabel(this);
    ProblemLabel->setObjectName("ProblemLabel");
    ProblemLabel->setStyleSheet("QLabel { color: #c62828; }");
    ProblemLabel->setWordWrap(true);
    Buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    DefaultButton = Buttons->button(QDialogButtonBox::RestoreDefaults);
    DefaultButton->setText("Default");
    DefaultButton->setToolTip("The two dials of the first versions: manifold pressure and engine speed");

    auto* panes = new QHBoxLayout;
    panes->addWidget(gauges, 1);
    panes->addWidget(gauge, 1);
    auto* box = new QVBoxLayout(this);
    box->addLayout(panes, 1);
    box->addWidget(ProblemLabel);
    box->addWidget(Buttons);

    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(DefaultButton, &QPushButton::clicked, this, [this] { setLayout(DefaultDashboard()); });
    connect(GaugeList, &QListWidget::currentRowChanged, this, [this] {
        showGauge();
        refreshState();
    });
    connect(AddButton, &QPushButton::clicked, this, [this] { addGauge(); });
    connect(RemoveButton, &QPushButton::clicked, this, [this] { removeGauge(); });
    connect(UpButton, &QPushButton::clicked, this, [this] { moveGauge(-1); });
    connect(DownButton, &QPushButton::clicked, this, [this] { moveGauge(1); });
    connect(ColumnsBox, &QSpinBox::valueChanged, this, [this](int v) { layout_.Columns = v; });
    connect(SizeBox, &QSpinBox::valueChanged, this, [this](int v) { layout_.GaugeSize = v; });
    connect(ParameterBox, &QComboBox::currentIndexChanged, this, [this] { parameterChosen(); });
    const auto edited = [this] { storeGauge(); };
    connect(KindBox, &QComboBox::currentIndexChanged, this, edited);
    connect(CaptionEdit, &QLineEdit::textEdited, this, edited);
    connect(UnitEdit, &QLineEdit::textEdited, this, edited);
    for (QDoubleSpinBox* b : {MinimumBox, MaximumBox, MultiplierBox, WarningBox, DangerBox})
        connect(b, &QDoubleSpinBox::valueChanged, this, edited);
    for (QSpinBox* b : {SweepBox, TicksBox, DecimalsBox})
        connect(b, &QSpinBox::valueChanged, this, edited);
    for (QComboBox* b : {StyleBox, WarningSideBox, DangerSideBox})
        connect(b, &QComboBox::currentIndexChanged, this, edited);
    for (QCheckBox* b : {WarningCheck, DangerCheck})
        connect(b, &QCheckBox::toggled, this, edited);
}

void TDashboardDialog::setLayout(const DashboardLayout& layout) {
    layout_ = layout;
    {
        const QSignalBlocker c(ColumnsBox), s(SizeBox);
        ColumnsBox->setValue(layout_.Columns);
        SizeBox->setValue(layout_.GaugeSize);
    }
    // Parameters of the layout that the table lacks can still be chosen.
    for (const GaugeSpec& g : layout_.Gauges)
        if (ParameterBox->findText(QString::fromStdString(g.Parameter), Qt::MatchExactly) < 0) {
            const QSignalBlocker block(ParameterBox);
            ParameterBox->addItem(QString::fromStdString(g.Parameter));
        }
    refreshList();
    selectGauge(layout_.Gauges.empty() ? -1 : 0);
}

int TDashboardDialog::currentGauge() const {
    const int row = GaugeList->currentRow();
    return row >= 0 && row < int(layout_.Gauges.size()) ? row : -1;
}

void TDashboardDialog::selectGauge(int index) {
    GaugeList->setCurrentRow(index);
    showGauge();
    refreshState();
}

void TDashboardDialog::refreshList() {
    const QSignalBlocker block(GaugeList);
    const int row = GaugeList->currentRow();
    GaugeList->clear();
    for (size_t i = 0; i < layout_.Gauges.size(); ++i)
        GaugeList->addItem(gaugeLine(i, layout_.Gauges[i]));
    GaugeList->setCurrentRow(std::min(row, GaugeList->count() - 1));
}

void TDashboardDialog::showGauge() {
    const int index = currentGauge();
    showing_ = true;
    const GaugeSpec g = index >= 0 ? layout_.Gauges[size_t(index)] : GaugeSpec{};
    ParameterBox->setCurrentIndex(
        ParameterBox->findText(QString::fromStdString(g.Parameter), Qt::MatchExactly));
    KindBox->setCurrentIndex(g.Kind == GaugeKind::Dial ? 0 : 1);
    CaptionEdit->setText(QString::fromStdString(g.Caption));
    CaptionEdit->setPlaceholderText(QString::fromStdString(g.Parameter));
    UnitEdit->setText(QString::fromStdString(g.Unit));
    MinimumBox->setValue(g.Minimum);
    MaximumBox->setValue(g.Maximum);
    MultiplierBox->setValue(g.Multiplier);
    StyleBox->setCurrentIndex(int(g.Style));
    SweepBox->setValue(g.Sweep);
    TicksBox->setValue(g.MainTicks);
    DecimalsBox->setValue(g.Decimals);
    WarningCheck->setChecked(g.Warning.Enabled);
    WarningSideBox->setCurrentIndex(g.Warning.Side == ThresholdSide::Above ? 0 : 1);
    WarningBox->setValue(g.Warning.Value);
    DangerCheck->setChecked(g.Danger.Enabled);
    DangerSideBox->setCurrentIndex(g.Danger.Side == ThresholdSide::Above ? 0 : 1);
    DangerBox->setValue(g.Danger.Value);
    showing_ = false;
}

void TDashboardDialog::storeGauge() {
    const int index = currentGauge();
    if (showing_ || index < 0) return;
    GaugeSpec& g = layout_.Gauges[size_t(index)];
    g.Parameter = ParameterBox->currentText().toStdString();
    g.Kind = KindBox->currentIndex() == 0 ? GaugeKind::Dial : GaugeKind::Digital;
    g.Caption = CaptionEdit->text().toStdString();
    g.Unit = UnitEdit->text().toStdString();
    g.Minimum = MinimumBox->value();
    g.Maximum = MaximumBox->value();
    g.Multiplier = MultiplierBox->value();
    g.Style = DialStyle(StyleBox->currentIndex());
    g.Sweep = SweepBox->value();
    g.MainTicks = TicksBox->value();
    g.Decimals = DecimalsBox->value();
    g.Warning = {WarningCheck->isChecked(), WarningBox->value(),
                 WarningSideBox->currentIndex() == 0 ? ThresholdSide::Above : ThresholdSide::Below};
    g.Danger = {DangerCheck->isChecked(), DangerBox->value(),
                DangerSideBox->currentIndex() == 0 ? ThresholdSide::Above : ThresholdSide::Below};
    CaptionEdit->setPlaceholderText(QString::fromStdString(g.Parameter));
    refreshList();
    refreshState();
}

void TDashboardDialog::parameterChosen() {
    const int index = currentGauge();
    if (showing_ || index < 0) return;
    // Another parameter: its own unit, its name as the caption.
    const std::string name = ParameterBox->currentText().toStdString();
    for (const GaugeParameter& p : parameters_)
        if (p.Name == name) UnitEdit->setText(QString::fromStdString(p.Unit));
    CaptionEdit->clear();
    storeGauge();
}

void TDashboardDialog::addGauge() {
    if (layout_.Gauges.size() >= size_t(MaxDashboardGauges)) return;
    GaugeSpec g;
    g.Kind = GaugeKind::Digital;
    g.Decimals = 1;
    for (const GaugeParameter& p : parameters_) {
        const bool shown = std::any_of(layout_.Gauges.begin(), layout_.Gauges.end(),
                                       [&](const GaugeSpec& s) { return s.Parameter == p.Name; });
        if (!shown) {
            g.Parameter = p.Name;
            g.Unit = p.Unit;
            break;
        }
    }
    if (g.Parameter.empty() && !parameters_.empty()) g.Parameter = parameters_.front().Name;
    const int at = currentGauge() + 1;
    layout_.Gauges.insert(layout_.Gauges.begin() + at, g);
    refreshList();
    selectGauge(at);
}

void TDashboardDialog::removeGauge() {
    const int index = currentGauge();
    if (index < 0) return;
    layout_.Gauges.erase(layout_.Gauges.begin() + index);
    refreshList();
    selectGauge(std::min(index, int(layout_.Gauges.size()) - 1));
}

void TDashboardDialog::moveGauge(int by) {
    const int index = currentGauge();
    const int to = index + by;
    if (index < 0 || to < 0 || to >= int(layout_.Gauges.size())) return;
    std::swap(layout_.Gauges[size_t(index)], layout_.Gauges[size_t(to)]);
    refreshList();
    selectGauge(to);
}

QString TDashboardDialog::problem() const {
    if (layout_.Gauges.empty()) return "Add a gauge.";
    for (size_t i = 0; i < layout_.Gauges.size(); ++i) {
        const std::string p = CheckGauge(layout_.Gauges[i]);
        if (!p.empty()) return QString("Gauge %1: %2").arg(i + 1).arg(QString::fromStdString(p));
    }
    return {};
}

void TDashboardDialog::refreshState() {
    const int index = currentGauge();
    const bool editing = index >= 0;
    const bool dial = editing && layout_.Gauges[size_t(index)].Kind == GaugeKind::Dial;
    for (QWidget* w :
         std::initializer_list<QWidget*>{ParameterBox, KindBox, CaptionEdit, UnitEdit, MinimumBox, MaximumBox,
                                         MultiplierBox, WarningCheck, DangerCheck})
        w->setEnabled(editing);
    for (QWidget* w : std::initializer_list<QWidget*>{StyleBox, SweepBox, TicksBox})
        w->setEnabled(dial);
    DecimalsBox->setEnabled(editing && !dial);
    WarningSideBox->setEnabled(editing && WarningCheck->isChecked());
    WarningBox->setEnabled(editing && WarningCheck->isChecked());
    DangerSideBox->setEnabled(editing && DangerCheck->isChecked());
    DangerBox->setEnabled(editing && DangerCheck->isChecked());
    RemoveButton->setEnabled(editing);
    UpButton->setEnabled(editing && index > 0);
    DownButton->setEnabled(editing && index + 1 < int(layout_.Gauges.size()));
    AddButton->setEnabled(layout_.Gauges.size() < size_t(MaxDashboardGauges));
    const QString text = problem();
    ProblemLabel->setText(text);
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(text.isEmpty());
}

} // namespace quillmar
