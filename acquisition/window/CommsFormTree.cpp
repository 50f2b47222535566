// The live table (the parameter tree), the parameter selectors' items, the
// dataset selector, the point buttons and the tree's pop-up menu.
#include "acquisition/window/CommsForm.h"

#include "acquisition/ConnectAdvice.h"
#include "acquisition/params/LiveTable.h"
#include "acquisition/params/Parameters.h"
#include "acquisition/window/FlagImageList.h"
#include "store/base/Cp1252.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LiveDerivation.h"
#include "store/dataset/LogCollection.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QTreeWidget>

namespace quillmar {

namespace {

void addSelectorItem(QComboBox* combo, int image, const std::string& text, int indent = 0, int flagDef = 0) {
    combo->addItem(TFlagImageList::instance().icon(image), QString::fromStdString(text));
    const int row = combo->count() - 1;
    if (indent) combo->setItemData(row, indent, SelectorIndentRole);
    if (flagDef) combo->setItemData(row, flagDef, SelectorFlagDefRole);
}

void selectByText(QComboBox* combo, const QString& text) {
    combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly));
}

} // namespace

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

void TCommsForm::showValuesStale(bool stale) {
    if (stale == staleValues_) return;
    staleValues_ = stale;
    // The text in the colour of disabled text; the tree still scrolls and
    // takes its pop-up menu.
    const QPalette normal = palette();
    QPalette shown = ParameterTree->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        shown.setColor(group, QPalette::Text,
                       normal.color(stale ? QPalette::Disabled : group, QPalette::Text));
    ParameterTree->setPalette(shown);
    ParameterTree->setToolTip(
        stale ? QString("%1: the values are the last it gave").arg(QLatin1String(NoAnswerText)) : QString());
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
    // With the last dataset closed there are no points to count.
    if (datasets_.Count() == 0 && !(acquisition_ && acquisition_->acquisitionRunning())) {
        dlgPointNo->setText("0");
        dlgNoPoints->setText("0");
    }
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

} // namespace quillmar
