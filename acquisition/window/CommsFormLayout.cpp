// The acquisition window's controls as they are laid out.
#include "acquisition/window/CommsForm.h"

#include "acquisition/window/FlagImageList.h"
#include "store/dataset/LogCollection.h"

#include <QAction>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyledItemDelegate>
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

} // namespace

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

} // namespace quillmar
