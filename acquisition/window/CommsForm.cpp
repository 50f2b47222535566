#include "acquisition/window/CommsForm.h"

#include "acquisition/ConnectAdvice.h"
#include "acquisition/params/LiveTable.h"
#include "acquisition/params/Parameters.h"
#include "acquisition/window/FlagImageList.h"
#include "link/ALDLComms.h"
#include "store/base/Cp1252.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LiveDerivation.h"
#include "store/dataset/LogCollection.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quillmar {

namespace {

// The error log shows this many of its newest lines.
constexpr int ErrorLogLines = 100;

// Indents the bit items of a parameter selector under their flag entry.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const int indent = index.data(SelectorIndentRole).toInt();
        option->rect.adjust(indent * 16, 0, 0, 0);
    }
};

QComboBox* makeSelector(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setIconSize(QSize(FlagImageSize, FlagImageSize));
    combo->setItemDelegate(new IndentDelegate(combo));
    combo->setMaxVisibleItems(24);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(12);
    return combo;
}

void addSelectorItem(QComboBox* combo, int image, const std::string& text, int indent = 0, int flagDef = 0) {
    combo->addItem(TFlagImageList::instance().icon(image), QString::fromStdString(text));
    const int row = combo->count() - 1;
    if (indent) combo->setItemData(row, indent, SelectorIndentRole);
    if (flagDef) combo->setItemData(row, flagDef, SelectorFlagDefRole);
}

void selectByText(QComboBox* combo, const QString& text) {
    combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly));
}

// A push button that shows an action's caption (or its own) and state and
// triggers it.
void bindButton(QPushButton* button, QAction* action, const QString& caption = {}) {
    auto sync = [button, action, caption] {
        button->setText(caption.isEmpty() ? action->text() : caption);
        button->setEnabled(action->isEnabled());
        button->setToolTip(action->toolTip());
    };
    sync();
    QObject::connect(action, &QAction::changed, button, sync);
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
}

QAction* makeAction(QWidget* owner, const QString& name, const QString& caption,
                    const QKeySequence& key = {}) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(name);
    if (!key.isEmpty()) {
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setToolTip(caption);
    }
    owner->addAction(action);
    return action;
}

// The selected item of a curve selector: its text and, for a bit item, its
// position in FlagDefs plus 1.
TSelectorItem selectedItem(const QComboBox* combo) {
    const int index = combo->currentIndex();
    if (index < 0) return {};
    return {combo->itemText(index).toStdString(), combo->itemData(index, SelectorFlagDefRole).toInt()};
}

} // namespace

TCommsForm::TCommsForm(TLogCollection& datasets, QWidget* parent)
    : QWidget(parent), datasets_(datasets), acquisition_(std::make_unique<Acquisition>(datasets)) {
    setObjectName("CommsForm");
    setWindowTitle("M100 ALDL");
    setMinimumSize(410, 434);
    setMaximumSize(450, 2000);
    acquisition_->setListener(this);
    buildActions();
    buildControls();
    installCollectionHooks();
    installPlotChoices();
    updateCommands();
}

TCommsForm::~TCommsForm() {
    // Stops quietly: the windows that would be told are going too.
    acquisition_->setListener(nullptr);
    acquisition_->plotChoices().Panel = {};
    acquisition_.reset();
    datasets_.Hooks.DatasetsChanged = nullptr;
    datasets_.Hooks.ShowRow = nullptr;
    datasets_.Hooks.OverlayChanged = nullptr;
}

// ---- the form --------------------------------------------------------------

void TCommsForm::buildActions() {
    StartTalkingAction = makeAction(this, "StartTalkingAction", "Start talking (F1)", Qt::Key_F1);
    StartLoggingAction = makeAction(this, "StartLoggingAction", "Start logging (F2)", Qt::Key_F2);
    StopTalkingAction = makeAction(this, "StopTalkingAction", "Stop talking (F3)", Qt::Key_F3);
    StopLoggingAction = makeAction(this, "StopLoggingAction", "Stop logging (F4)", Qt::Key_F4);
    StopTalkingAction->setEnabled(false);
    StopLoggingAction->setEnabled(false);
    connect(StartTalkingAction, &QAction::triggered, this, [this] { StartTalkingActionExecute(); });
    connect(StartLoggingAction, &QAction::triggered, this, [this] { StartLoggingActionExecute(); });
    connect(StopTalkingAction, &QAction::triggered, this, [this] { StopTalkingActionExecute(); });
    connect(StopLoggingAction, &QAction::triggered, this, [this] { StopLoggingActionExecute(); });

    PreviousPointAction = makeAction(this, "PreviousPointAction", "Previous point");
    NextpointAction = makeAction(this, "NextpointAction", "Next");
    ActivateCursorAction = makeAction(this, "ActivateCursorAction", "Cursor");
    PreviousPointAction->setToolTip("Show the previous row of the dataset");
    NextpointAction->setToolTip("Show the next row of the dataset");
    ActivateCursorAction->setToolTip("Follow a curve of the graph with the cursor");
    // The cursor follows the acquisition graph's curves; until a graph
    // takes the command it stays off.
    ActivateCursorAction->setEnabled(false);
    connect(ActivateCursorAction, &QAction::triggered, this, [this] {
        if (acquisition_) acquisition_->plotChoices().activateCursor();
    });
    connect(PreviousPointAction, &QAction::triggered, this, [this] { PreviousPointActionExecute(); });
    connect(NextpointAction, &QAction::triggered, this, [this] { NextpointActionExecute(); });

    PlotAsxAction = makeAction(this, "PlotAsxAction", "Plot as x");
    PlotAsCurve1Action = makeAction(this, "PlotAsCurve1Action", "Plot as curve 1");
    PlotAsCurve2Action = makeAction(this, "PlotAsCurve2Action", "Plot as curve 2");
    for (QAction* a : {PlotAsxAction, PlotAsCurve1Action, PlotAsCurve2Action})
        connect(a, &QAction::triggered, this, [this, a] { PlotAsActionExecute(a); });

    FFTAction = makeAction(this, "FFTAction", "FFT");
    FFTAction->setEnabled(false);
    FFTAction->setVisible(false);
}

void TCommsForm::buildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);

    // The dataset the table and the cursor show, and its comment.
    auto* top = new QFormLayout;
    top->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    dlgDataSet = new QComboBox(this);
    dlgDataSet->setObjectName("dlgDataSet");
    dlgDataSet->setPlaceholderText("No data");
    dlgDataSet->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    dlgDescription = new QLineEdit(this);
    dlgDescription->setObjectName("dlgDescription");
    dlgDescription->setMaxLength(255);
    dlgDescription->setReadOnly(true);
    dlgDescription->setToolTip("The comment stored with the dataset");
    top->addRow("Select table/cursor dataset", dlgDataSet);
    top->addRow("Log comments", dlgDescription);
    layout->addLayout(top);
    connect(dlgDataSet, &QComboBox::activated, this, [this](int index) {
        datasets_.chooseDataset(index);
        refreshDataSetSelector();
    });

    ParameterTree = new QTreeWidget(this);
    ParameterTree->setObjectName("ParameterTree");
    ParameterTree->setHeaderHidden(true);
    ParameterTree->setColumnCount(1);
    ParameterTree->setIconSize(QSize(FlagImageSize, FlagImageSize));
    ParameterTree->setUniformRowHeights(true);
    ParameterTree->setContextMenuPolicy(Qt::CustomContextMenu);
    ParameterTree->setMinimumHeight(120);
    layout->addWidget(ParameterTree, 1);
    TreePopUp = new QMenu(this);
    TreePopUp->addAction(PlotAsxAction);
    TreePopUp->addSeparator();
    TreePopUp->addAction(PlotAsCurve1Action);
    TreePopUp->addAction(PlotAsCurve2Action);
    connect(ParameterTree, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { treeContextMenu(pos); });

    // The graph panel and the acquisition panel share one place.
    Panels = new QStackedWidget(this);
    layout->addWidget(Panels);

    GraphPanel = new QWidget(Panels);
    GraphPanel->setObjectName("GraphPanel");
    auto* graph = new QVBoxLayout(GraphPanel);
    graph->setContentsMargins(0, 0, 0, 0);
    auto* selectors = new QGridLayout;
    dlgxAxis = makeSelector(GraphPanel);
    dlgxAxis->setObjectName("dlgxAxis");
    dlgCurve1 = makeSelector(GraphPanel);
    dlgCurve1->setObjectName("dlgCurve1");
    dlgCurve2 = makeSelector(GraphPanel);
    dlgCurve2->setObjectName("dlgCurve2");
    CurveSelectors[1] = dlgCurve1;
    CurveSelectors[2] = dlgCurve2;
    selectors->addWidget(new QLabel("x-axis parameter", GraphPanel), 0, 0);
    selectors->addWidget(dlgxAxis, 0, 1, 1, 2);
    selectors->addWidget(new QLabel("Curve parameters", GraphPanel), 1, 0);
    selectors->addWidget(dlgCurve1, 1, 1);
    selectors->addWidget(dlgCurve2, 1, 2);
    selectors->setColumnStretch(1, 1);
    selectors->setColumnStretch(2, 1);
    graph->addLayout(selectors);
    // The graph's choices follow the selectors; a choice builds the curves again.
    for (QComboBox* combo : {dlgxAxis, dlgCurve1, dlgCurve2}) {
        connect(combo, &QComboBox::currentIndexChanged, this, [this] { storePlotSelection(); });
        connect(combo, &QComboBox::activated, this, [this] {
            storePlotSelection();
            if (acquisition_) acquisition_->plotChoices().setupCurve();
        });
    }
    storePlotSelection();

    auto* shift = new QHBoxLayout;
    dlgTimeShift = new QScrollBar(Qt::Horizontal, GraphPanel);
    dlgTimeShift->setObjectName("dlgTimeShift");
    dlgTimeShift->setRange(-1000, 1000);
    dlgTimeShift->setValue(0);
    dlgTimeShift->setEnabled(false);
    dlgTimeShift->setToolTip("Slides the current dataset's curves along the x axis");
    shift->addWidget(new QLabel("Time shift current dataset", GraphPanel));
    shift->addWidget(dlgTimeShift, 1);
    graph->addLayout(shift);
    connect(dlgTimeShift, &QScrollBar::valueChanged, this, [this](int position) {
        if (acquisition_) acquisition_->plotChoices().timeShiftMoved(position);
    });

    auto* points = new QHBoxLayout;
    PreviousBtn = new QPushButton(GraphPanel);
    PreviousBtn->setObjectName("PreviousBtn");
    NextBtn = new QPushButton(GraphPanel);
    NextBtn->setObjectName("NextBtn");
    ActivateCursorButton = new QPushButton(GraphPanel);
    ActivateCursorButton->setObjectName("ActivateCursorButton");
    bindButton(PreviousBtn, PreviousPointAction, "Previous");
    bindButton(NextBtn, NextpointAction);
    bindButton(ActivateCursorButton, ActivateCursorAction);
    dlgPointNo = new QLabel("0", GraphPanel);
    dlgPointNo->setObjectName("dlgPointNo");
    dlgNoPoints = new QLabel("0", GraphPanel);
    dlgNoPoints->setObjectName("dlgNoPoints");
    for (QLabel* l : {dlgPointNo, dlgNoPoints})
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance("0000000"));
    dlgPointNo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    dlgNoPoints->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    points->addWidget(PreviousBtn);
    points->addWidget(NextBtn);
    points->addWidget(ActivateCursorButton);
    points->addStretch(1);
    points->addWidget(new QLabel("Point", GraphPanel));
    points->addWidget(dlgPointNo);
    points->addWidget(new QLabel("of", GraphPanel));
    points->addWidget(dlgNoPoints);
    graph->addLayout(points);
    Panels->addWidget(GraphPanel);

    AcqPanel = new QWidget(Panels);
    AcqPanel->setObjectName("AcqPanel");
    auto* acq = new QVBoxLayout(AcqPanel);
    acq->setContentsMargins(0, 0, 0, 0);
    auto* periods = new QHBoxLayout;
    dlgAcqPeriod = new QLineEdit(AcqPanel);
    dlgAcqPeriod->setObjectName("dlgAcqPeriod");
    dlgRedrawPeriod = new QLineEdit(AcqPanel);
    dlgRedrawPeriod->setObjectName("dlgRedrawPeriod");
    for (QLineEdit* box : {dlgAcqPeriod, dlgRedrawPeriod}) {
        box->setAlignment(Qt::AlignRight);
        box->setMaximumWidth(box->fontMetrics().horizontalAdvance("4294967295") + 16);
    }
    dlgAcqPeriod->setToolTip("Milliseconds between two requests to the engine computer");
    dlgRedrawPeriod->setToolTip("Milliseconds between two updates of the parameter table");
    periods->addWidget(new QLabel("Acquisition period", AcqPanel));
    periods->addWidget(dlgAcqPeriod);
    periods->addWidget(new QLabel("ms", AcqPanel));
    periods->addSpacing(12);
    periods->addWidget(new QLabel("Update period", AcqPanel));
    periods->addWidget(dlgRedrawPeriod);
    periods->addWidget(new QLabel("ms", AcqPanel));
    periods->addStretch(1);
    acq->addLayout(periods);
    acq->addWidget(new QLabel("Error log", AcqPanel));
    dlgErrorLog = new QPlainTextEdit(AcqPanel);
    dlgErrorLog->setObjectName("dlgErrorLog");
    dlgErrorLog->setReadOnly(true);
    dlgErrorLog->setMaximumBlockCount(ErrorLogLines);
    dlgErrorLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    dlgErrorLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    acq->addWidget(dlgErrorLog, 1);
    Panels->addWidget(AcqPanel);
    Panels->setCurrentWidget(GraphPanel);
    // Both panels take the graph panel's height (the error log scrolls); the
    // tree takes what the window has to spare.
    const int lineHeight = dlgErrorLog->fontMetrics().lineSpacing();
    dlgErrorLog->setMinimumHeight(4 * lineHeight);
    Panels->setFixedHeight(std::max(GraphPanel->sizeHint().height(), 7 * lineHeight + 40));
    connect(dlgAcqPeriod, &QLineEdit::editingFinished, this, [this] { dlgAcqPeriodExit(); });
    connect(dlgRedrawPeriod, &QLineEdit::editingFinished, this, [this] { dlgRedrawPeriodExit(); });

    auto* buttons = new QGridLayout;
    StartTalkingBtn = new QPushButton(this);
    StartTalkingBtn->setObjectName("StartTalkingBtn");
    StartMd1Log = new QPushButton(this);
    StartMd1Log->setObjectName("StartMd1Log");
    StopTalkingBtn = new QPushButton(this);
    StopTalkingBtn->setObjectName("StopTalkingBtn");
    StopLogBtn = new QPushButton(this);
    StopLogBtn->setObjectName("StopLogBtn");
    bindButton(StartTalkingBtn, StartTalkingAction);
    bindButton(StartMd1Log, StartLoggingAction);
    bindButton(StopTalkingBtn, StopTalkingAction);
    bindButton(StopLogBtn, StopLoggingAction);
    buttons->addWidget(StartTalkingBtn, 0, 0);
    buttons->addWidget(StartMd1Log, 0, 1);
    buttons->addWidget(StopTalkingBtn, 1, 0);
    buttons->addWidget(StopLogBtn, 1, 1);
    layout->addLayout(buttons);
}

void TCommsForm::installCollectionHooks() {
    datasets_.Hooks.DatasetsChanged = [this] {
        refreshDataSetSelector();
        if (acquisition_) acquisition_->plotChoices().setupCurve();
    };
    datasets_.Hooks.ShowRow = [this](uint32_t row) { WriteTableData(row); };
    datasets_.Hooks.OverlayChanged = [this](bool enabled) {
        dlgTimeShift->setEnabled(enabled);
        dlgTimeShift->setValue(0);
    };
}

void TCommsForm::installPlotChoices() {
    PlotChoices& choices = acquisition_->plotChoices();
    choices.Panel.ShowXText = [this](const std::string& text) {
        QSignalBlocker block(dlgxAxis);
        dlgxAxis->setCurrentIndex(dlgxAxis->findText(QString::fromStdString(text), Qt::MatchExactly));
        storePlotSelection();
    };
    choices.Panel.EnableTimeShift = [this](bool enabled) { dlgTimeShift->setEnabled(enabled); };
    choices.Panel.ShowTimeShift = [this](int position) { dlgTimeShift->setValue(position); };
    choices.Panel.DatasetChosen = [this] { refreshDataSetSelector(); };
    choices.Panel.ShowRow = [this](uint32_t row) {
        WriteTableData(row);
        // The tree keeps up with the mouse: what waits to be painted in the
        // frame is painted now.
        QCoreApplication::sendPostedEvents(window(), QEvent::UpdateRequest);
    };
    // The cursor follows the graph's curves; it stays off until a graph plots the choices.
    choices.Panel.GraphAttached = [this] { ActivateCursorAction->setEnabled(true); };
}

void TCommsForm::storePlotSelection() {
    if (!acquisition_) return; // the window is going
    TPlotSelection& selection = acquisition_->plotChoices().Selection;
    selection.XText = dlgxAxis->currentText().toStdString();
    selection.Curve[1] = selectedItem(dlgCurve1);
    selection.Curve[2] = selectedItem(dlgCurve2);
}

bool TCommsForm::FormCreate(const AcquisitionSetup& setup) {
    if (!acquisition_->start(setup)) return false;
    dlgAcqPeriod->setText(QString::fromStdString(acquisition_->acqPeriodText()));
    dlgRedrawPeriod->setText(QString::fromStdString(acquisition_->redrawPeriodText()));
    SetupTableAndCombos();
    created_ = true;
    updateCommands();
    if (!setup.Port.empty() && !(acquisition_->comms() && acquisition_->comms()->IsOpen()))
        reportConnectFailure(setup.Port);
    return true;
}

void TCommsForm::FormDestroy() {
    acquisition_->shutdown();
}

void TCommsForm::reportConnectFailure(const std::string& port) {
    const uint32_t code = acquisition_->comms() ? acquisition_->comms()->LastError() : 0;
    const std::string line = ConnectFailureLine(port, acquisition_->connectError(), code);
    lastConnectFailure_ = QString::fromStdString(line);
    appendErrorLog(lastConnectFailure_);
    emit linkStatusChanged(false, lastConnectFailure_);
}

void TCommsForm::appendErrorLog(const QString& line) {
    dlgErrorLog->appendPlainText(line);
}

// ---- state -----------------------------------------------------------------

void TCommsForm::updateCommands() {
    const Acquisition& acq = *acquisition_;
    const bool usable = created_ && !acq.promDumpRunning();
    StartTalkingAction->setEnabled(usable && !acq.talking());
    StopTalkingAction->setEnabled(acq.talking());
    StartLoggingAction->setEnabled(usable && !acq.logging());
    StopLoggingAction->setEnabled(acq.logging());
    PreviousPointAction->setEnabled(!acq.talking());
    NextpointAction->setEnabled(!acq.talking());
}

void TCommsForm::StartTalkingActionExecute() {
    acquisition_->startTalking();
}

void TCommsForm::StopTalkingActionExecute() {
    acquisition_->stopTalking();
}

void TCommsForm::StartLoggingActionExecute() {
    acquisition_->startLogging();
}

void TCommsForm::StopLoggingActionExecute() {
    acquisition_->stopLogging();
}

bool TCommsForm::DumpProm(const std::string& fileName) {
    return acquisition_->startPromDump(fileName);
}

// ---- period boxes ------------------------------------------------------------

void TCommsForm::periodExit(QLineEdit* box, bool acquisition) {
    static bool busy = false; // the error box takes the focus away
    if (busy) return;
    busy = true;
    const std::string text = box->text().toStdString();
    const PeriodEntry entry =
        acquisition ? acquisition_->setAcquisitionPeriod(text) : acquisition_->setUpdatePeriod(text);
    busy = false;
    if (entry == PeriodEntry::Applied) return;
    // Back into the box, so the entry can be put right.
    QTimer::singleShot(0, box, [box] {
        box->setFocus(Qt::OtherFocusReason);
        box->selectAll();
    });
}

void TCommsForm::dlgAcqPeriodExit() {
    periodExit(dlgAcqPeriod, true);
}

void TCommsForm::dlgRedrawPeriodExit() {
    periodExit(dlgRedrawPeriod, false);
}

// ---- the live table ------------------------------------------------------------

void TCommsForm::SetupTableAndCombos() {
    TParameterArray& params = acquisition_->parameters();
    FillBitNames(params);
    ParameterTree->clear();
    FlagDefs = MakeFlagDefs(params);
    QSignalBlocker bx(dlgxAxis), b1(dlgCurve1), b2(dlgCurve2);
    dlgxAxis->clear();
    dlgCurve1->clear();
    dlgCurve2->clear();

    addSelectorItem(dlgxAxis, TimeImage, "Time");
    dlgCurve2->addItem("No curve");
    const TFlagImageList& images = TFlagImageList::instance();
    int flagDef = 0;
    for (const TParameter& p : params) {
        const std::string name = DisplayName(p);
        addSelectorItem(dlgCurve1, p.Icon, name);
        addSelectorItem(dlgCurve2, p.Icon, name);
        auto* node = new QTreeWidgetItem(ParameterTree, QStringList{QString::fromStdString(name)});
        node->setIcon(0, images.icon(p.Icon));
        if (p.Flags) {
            const size_t bits = size_t(p.Size) * 8;
            for (size_t k = 0; k < bits; ++k) {
                const std::string& bitName = k < p.BitNames.size() ? p.BitNames[k] : std::string();
                const int image = k < size_t(FlagEntryImage) ? int(k) : -1;
                ++flagDef;
                addSelectorItem(dlgCurve1, image, bitName, 1, flagDef);
                addSelectorItem(dlgCurve2, image, bitName, 1, flagDef);
                auto* child = new QTreeWidgetItem(node, QStringList{QString::fromStdString(bitName)});
                child->setIcon(0, images.icon(image));
            }
        }
        addSelectorItem(dlgxAxis, p.Icon, name);
    }
    selectByText(dlgxAxis, "Time");
    selectByText(dlgCurve1, "Smoothed speed");
    selectByText(dlgCurve2, "No curve");
    acquisition_->plotChoices().FlagDefs = FlagDefs;
    storePlotSelection();
    if (dlgDataSet->count() == 0) dlgDataSet->setPlaceholderText("No data");
}

TALDLLog* TCommsForm::CurrentDataset() {
    TALDLLog* log = datasets_.CurrentDataset();
    refreshDataSetSelector();
    return log;
}

void TCommsForm::WriteTableData(int64_t point) {
    const bool acquiring = acquisition_->acquisitionRunning();
    if (!acquiring && datasets_.Count() == 0) {
        SetupTableAndCombos();
        refreshDataSetSelector();
        return;
    }
    TALDLLog* current = datasets_.Count() > 0 ? CurrentDataset() : nullptr;
    if (current) dlgDescription->setText(QString::fromStdString(cp1252ToUtf8(current->StoreName)));
    if (!acquiring && !(current && point >= 1 && point <= int64_t(current->Rows))) return;

    const TParameterArray& params = acquisition_->parameters();
    if (acquiring) {
        point = acquisition_->rowCounter();
        dlgNoPoints->setText(QString::number(point));
    } else {
        dlgNoPoints->setText(QString::number(current->Rows));
    }
    const int nodes = ParameterTree->topLevelItemCount();
    for (int i = 0; i < int(params.size()) && i < nodes; ++i) {
        const TParameter& p = params[size_t(i)];
        const double value =
            acquiring ? p.Value : static_cast<double>(current->ParameterValue(i + 1, uint32_t(point)));
        QTreeWidgetItem* node = ParameterTree->topLevelItem(i);
        const LiveTableLines lines = LiveLinesOf(p, value);
        node->setText(0, QString::fromStdString(lines.Line));
        // A live value that the rows still to come will change says so.
        const QString note =
            acquiring && p.Size == 0 ? QString::fromStdString(LiveValueNote(p.Name)) : QString();
        if (node->toolTip(0) != note) node->setToolTip(0, note);
        for (int b = 0; b < int(lines.BitLines.size()) && b < node->childCount(); ++b)
            node->child(b)->setText(0, QString::fromStdString(lines.BitLines[size_t(b)]));
    }
    dlgPointNo->setText(QString::number(point));
}

void TCommsForm::refreshDataSetSelector() {
    const std::vector<std::string>& names = datasets_.datasetNames();
    QSignalBlocker block(dlgDataSet);
    bool same = dlgDataSet->count() == int(names.size());
    for (int i = 0; same && i < dlgDataSet->count(); ++i)
        same = dlgDataSet->itemText(i).toStdString() == names[size_t(i)];
    if (!same) {
        dlgDataSet->clear();
        for (const std::string& name : names)
            dlgDataSet->addItem(QString::fromStdString(name));
    }
    dlgDataSet->setCurrentIndex(datasets_.selectedIndex());
    dlgDataSet->setPlaceholderText(QString::fromStdString(datasets_.selectionText()));
    emit datasetsChanged();
}

void TCommsForm::PreviousPointActionExecute() {
    if (acquisition_->acquisitionRunning()) return;
    bool ok = false;
    const qlonglong n = dlgPointNo->text().toLongLong(&ok);
    if (ok) WriteTableData(n - 1);
}

void TCommsForm::NextpointActionExecute() {
    if (acquisition_->acquisitionRunning()) return;
    bool ok = false;
    const qlonglong n = dlgPointNo->text().toLongLong(&ok);
    if (ok) WriteTableData(n + 1);
}

// ---- the tree's pop-up menu ------------------------------------------------------

void TCommsForm::treeContextMenu(const QPoint& pos) {
    if (QTreeWidgetItem* item = ParameterTree->itemAt(pos)) ParameterTree->setCurrentItem(item);
    TreePopUpPopup();
    TreePopUp->exec(ParameterTree->viewport()->mapToGlobal(pos));
}

void TCommsForm::TreePopUpPopup() {
    if (acquisition_->acquisitionRunning()) {
        for (QAction* a : {PlotAsxAction, PlotAsCurve1Action, PlotAsCurve2Action})
            a->setEnabled(false);
        return;
    }
    QTreeWidgetItem* item = ParameterTree->currentItem();
    PlotAsCurve1Action->setEnabled(item != nullptr);
    PlotAsCurve2Action->setEnabled(item != nullptr);
    bool asX = false;
    if (item && !item->parent()) {
        const int entry = ParameterTree->indexOfTopLevelItem(item);
        const TParameterArray& params = acquisition_->parameters();
        asX = entry >= 0 && entry < int(params.size()) && !params[size_t(entry)].Flags;
    }
    PlotAsxAction->setEnabled(asX);
}

int TCommsForm::absoluteTreeLine(QTreeWidgetItem* item) const {
    QTreeWidgetItem* top = item->parent() ? item->parent() : item;
    const int entry = ParameterTree->indexOfTopLevelItem(top);
    int line = 0;
    for (int i = 0; i < entry; ++i)
        line += 1 + ParameterTree->topLevelItem(i)->childCount();
    if (item->parent()) line += 1 + top->indexOfChild(item);
    return line;
}

void TCommsForm::PlotAsActionExecute(QAction* action) {
    QTreeWidgetItem* item = ParameterTree->currentItem();
    if (!item || !action->isEnabled()) return;
    // Only the selection changes; the curves follow at their next rebuild.
    if (action == PlotAsxAction) {
        if (item->parent()) return;
        QSignalBlocker block(dlgxAxis);
        dlgxAxis->setCurrentIndex(ParameterTree->indexOfTopLevelItem(item) + 1);
    } else if (action == PlotAsCurve1Action) {
        QSignalBlocker block(dlgCurve1);
        dlgCurve1->setCurrentIndex(absoluteTreeLine(item));
    } else if (action == PlotAsCurve2Action) {
        QSignalBlocker block(dlgCurve2);
        dlgCurve2->setCurrentIndex(absoluteTreeLine(item) + 1);
    }
    storePlotSelection();
}

// ---- what the cycle reports ---------------------------------------------------------

void TCommsForm::dialsChanged(float boost, float engineSpeed) {
    emit dialsPositions(boost, engineSpeed);
}

void TCommsForm::refreshLiveTable() {
    WriteTableData(0);
}

void TCommsForm::showRow(uint32_t row) {
    WriteTableData(row);
}

void TCommsForm::stateChanged(AcquisitionState state) {
    updateCommands();
    refreshDataSetSelector();
    emit acquisitionStateChanged(state);
    if (state == AcquisitionState::Dumping) emit promDumpRunning(true);
}

void TCommsForm::rowRecorded(uint32_t row) {
    emit rowLogged(row);
}

void TCommsForm::errorLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        appendErrorLog(QString::fromStdString(line));
}

void TCommsForm::setupCurves() {
    refreshDataSetSelector();
    acquisition_->plotChoices().setupCurve();
}

void TCommsForm::dialsWanted(bool wanted) {
    emit dialsWindowRequested(wanted);
}

void TCommsForm::linkActivity(bool busy) {
    // The error log shows while the link is busy, the graph panel otherwise.
    Panels->setCurrentWidget(busy ? AcqPanel : GraphPanel);
}

void TCommsForm::promProgress(uint32_t nextAddress, size_t bytesRead) {
    emit promDumpProgress(nextAddress, bytesRead);
}

void TCommsForm::promDumpFinished(PromDumpResult result) {
    emit promDumpRunning(false);
    emit promDumpEnded(result);
}

void TCommsForm::datasetWarnings(const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        appendErrorLog(QString::fromStdString("Warning: " + w));
}

void TCommsForm::linkStateChanged(bool connected, const std::string& text) {
    emit linkStatusChanged(connected, QString::fromStdString(text));
}

} // namespace quillmar
