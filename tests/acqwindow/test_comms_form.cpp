// The acquisition window over the real cycle in test mode: the tree's lines,
// the selectors, the state rules of the four commands, the point buttons,
// the period boxes and the error log.

#include "tests/app/WidgetTestSupport.h"

#include "acquisition/params/Parameters.h"
#include "acquisition/window/CommsForm.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

using testing::ScriptedMessenger;

int entryIndex(const char* name) {
    const TParameterArray& table = BuiltInParameters();
    for (size_t i = 0; i < table.size(); ++i)
        if (DisplayName(table[i]) == name) return int(i);
    return -1;
}

class CommsFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TCommsForm>(datasets);
        AcquisitionSetup setup;
        setup.Table = BuiltInParameters();
        ASSERT_TRUE(form->FormCreate(setup));
        acq().setTestMode(true);
    }

    Acquisition& acq() { return form->acquisition(); }
    QTreeWidgetItem* node(const char* name) { return form->ParameterTree->topLevelItem(entryIndex(name)); }
    QString line(const char* name) { return node(name)->text(0); }

    // A finished recording of rows test-mode ticks.
    void record(int rows) {
        form->StartLoggingActionExecute();
        for (int i = 0; i < rows; ++i)
            acq().acquisitionTick();
        form->StopTalkingActionExecute();
    }

    ScriptedMessenger messenger;
    TLogCollection datasets;
    std::unique_ptr<TCommsForm> form;
};

TEST_F(CommsFormTest, LiveLinesShowValuesUnitsAndEveryBit) {
    form->StartTalkingActionExecute();
    TParameterArray& p = acq().parameters();
    p[size_t(entryIndex("Engine speed"))].Value = 850;
    p[size_t(entryIndex("Prom id"))].Value = 4660;
    p[size_t(entryIndex("Flags 30"))].Value = 0x81;
    p[size_t(entryIndex("Faults"))].Value = 8388609;
    form->WriteTableData(0);

    EXPECT_EQ(line("Engine speed"), "Engine speed: 850.0 RPM");
    EXPECT_EQ(line("Prom id"), "Prom id: 4660 ");
    EXPECT_EQ(line("Flags 30"), "Flags 30: 81 ");
    QTreeWidgetItem* flags = node("Flags 30");
    ASSERT_EQ(flags->childCount(), 8);
    EXPECT_EQ(flags->child(0)->text(0), "Throttle>0: On");
    EXPECT_EQ(flags->child(7)->text(0), "At idle: On");
    for (int b = 1; b < 7; ++b)
        EXPECT_TRUE(flags->child(b)->text(0).endsWith(": Off")) << b;

    QTreeWidgetItem* faults = node("Faults");
    ASSERT_EQ(faults->childCount(), 24);
    EXPECT_EQ(faults->child(0)->text(0), "VSS: On");
    EXPECT_EQ(faults->child(23)->text(0), "ESC failure: On");
    int off = 0;
    for (int b = 1; b < 23; ++b)
        off += faults->child(b)->text(0).endsWith(": Off");
    EXPECT_EQ(off, 22);
    form->StopTalkingActionExecute();
}

TEST_F(CommsFormTest, LiveDerivedValuesSayWhenTheyAreProvisional) {
    form->StartTalkingActionExecute();
    for (int i = 0; i < 5; ++i)
        acq().acquisitionTick();
    form->WriteTableData(0);
    // Pseudo-random replies: a duty that is not 0 reaches the tree.
    const double duty = acq().parameters()[size_t(entryIndex("Injector duty"))].Value;
    EXPECT_GT(duty, 0);
    EXPECT_NE(line("Injector duty"), QString::fromStdString(ParameterLine(
                                         acq().parameters()[size_t(entryIndex("Injector duty"))], 0)));
    for (const char* name : {"Gear", "Calc. speed", "Smoothed speed", "Acceleration", "Power"})
        EXPECT_TRUE(node(name)->toolTip(0).contains("Provisional")) << name;
    for (const char* name : {"Time", "Distance", "Boost", "Injector duty", "Engine speed"})
        EXPECT_TRUE(node(name)->toolTip(0).isEmpty()) << name;
    // A finished recording's values are final.
    form->StartLoggingActionExecute();
    acq().acquisitionTick();
    form->StopTalkingActionExecute();
    EXPECT_TRUE(node("Gear")->toolTip(0).isEmpty());
}

TEST_F(CommsFormTest, SelectorsFollowTheTreeOnceEachAfterRebuilds) {
    const TParameterArray& table = BuiltInParameters();
    int bits = 0;
    for (const TParameter& p : table)
        if (p.Flags) bits += p.Size * 8;
    for (int rebuild = 0; rebuild < 3; ++rebuild) {
        form->WriteTableData(1); // no dataset, idle: a rebuild
        EXPECT_EQ(form->dlgxAxis->count(), 1 + int(table.size()));
        EXPECT_EQ(form->dlgCurve1->count(), int(table.size()) + bits);
        EXPECT_EQ(form->dlgCurve2->count(), 1 + int(table.size()) + bits);
        EXPECT_EQ(form->ParameterTree->topLevelItemCount(), int(table.size()));
        EXPECT_EQ(int(form->FlagDefs.size()), bits);
    }
    EXPECT_EQ(form->dlgxAxis->itemText(0), "Time");
    EXPECT_FALSE(form->dlgxAxis->itemIcon(0).isNull());
    EXPECT_EQ(form->dlgxAxis->currentText(), "Time");
    EXPECT_EQ(form->dlgxAxis->currentIndex(), 0);
    EXPECT_EQ(form->dlgCurve1->currentText(), "Smoothed speed");
    EXPECT_EQ(form->dlgCurve2->currentText(), "No curve");
    EXPECT_EQ(form->dlgCurve2->itemText(0), "No curve");
    EXPECT_TRUE(form->dlgCurve2->itemIcon(0).isNull());
    EXPECT_EQ(form->dlgDataSet->placeholderText(), "No data");
    EXPECT_EQ(form->ParameterTree->topLevelItem(0)->text(0), "Prom id"); // bare names

    // The curve selectors list the tree's lines in its order; bit items are
    // indented and carry their FlagDefs position + 1.
    int row = 0;
    for (int i = 0; i < form->ParameterTree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = form->ParameterTree->topLevelItem(i);
        EXPECT_EQ(form->dlgCurve1->itemText(row), top->text(0));
        EXPECT_FALSE(form->dlgCurve1->itemData(row, SelectorFlagDefRole).isValid());
        ++row;
        for (int b = 0; b < top->childCount(); ++b, ++row) {
            EXPECT_EQ(form->dlgCurve1->itemText(row), top->child(b)->text(0));
            EXPECT_EQ(form->dlgCurve1->itemData(row, SelectorIndentRole).toInt(), 1);
            const int def = form->dlgCurve1->itemData(row, SelectorFlagDefRole).toInt();
            ASSERT_GE(def, 1);
            EXPECT_EQ(QString::fromStdString(form->FlagDefs[size_t(def - 1)].ParamName), top->text(0));
            EXPECT_EQ(form->FlagDefs[size_t(def - 1)].Mask, 1 << b);
        }
    }
}

TEST_F(CommsFormTest, CommandsPanelsAndSelectorFollowTalkingAndLogging) {
    EXPECT_EQ(form->Panels->currentWidget(), form->GraphPanel);
    EXPECT_TRUE(form->StartTalkingAction->isEnabled());
    EXPECT_FALSE(form->StopTalkingAction->isEnabled());
    EXPECT_FALSE(form->StopLoggingAction->isEnabled());
    EXPECT_TRUE(form->StartTalkingBtn->isEnabled());
    EXPECT_FALSE(form->StopTalkingBtn->isEnabled());
    EXPECT_EQ(form->StartTalkingBtn->text(), "Start talking (F1)");

    form->StartTalkingAction->trigger();
    EXPECT_EQ(acq().state(), AcquisitionState::Talking);
    EXPECT_EQ(form->Panels->currentWidget(), form->AcqPanel);
    EXPECT_FALSE(form->StartTalkingAction->isEnabled());
    EXPECT_TRUE(form->StopTalkingAction->isEnabled());
    EXPECT_FALSE(form->PreviousBtn->isEnabled());
    EXPECT_FALSE(form->NextBtn->isEnabled());

    form->StartMd1Log->click();
    EXPECT_EQ(acq().state(), AcquisitionState::Logging);
    EXPECT_FALSE(form->StartLoggingAction->isEnabled());
    EXPECT_TRUE(form->StopLogBtn->isEnabled());
    ASSERT_EQ(form->dlgDataSet->count(), 1);
    EXPECT_EQ(form->dlgDataSet->itemText(0), "Dataset 0");
    for (int i = 0; i < 5; ++i)
        acq().acquisitionTick();

    form->StopLogBtn->click();
    EXPECT_EQ(acq().state(), AcquisitionState::Talking);
    EXPECT_TRUE(form->StartLoggingAction->isEnabled());
    EXPECT_FALSE(form->StopLoggingAction->isEnabled());
    EXPECT_EQ(form->dlgDataSet->currentIndex(), 0);
    EXPECT_EQ(form->dlgDataSet->currentText(), "Dataset 0");

    form->StopTalkingBtn->click();
    EXPECT_EQ(acq().state(), AcquisitionState::Idle);
    EXPECT_EQ(form->Panels->currentWidget(), form->GraphPanel);
    EXPECT_TRUE(form->PreviousBtn->isEnabled());
    EXPECT_EQ(form->dlgPointNo->text(), "5");
    EXPECT_EQ(form->dlgNoPoints->text(), "5");

    // Logging from idle starts talking first; stopping before any reply
    // leaves no dataset.
    form->StartLoggingAction->trigger();
    EXPECT_EQ(acq().state(), AcquisitionState::Logging);
    EXPECT_EQ(form->dlgDataSet->count(), 2);
    form->StopTalkingAction->trigger();
    EXPECT_EQ(acq().state(), AcquisitionState::Idle);
    EXPECT_EQ(form->dlgDataSet->count(), 1);
}

TEST_F(CommsFormTest, DatasetRowsShowTheirValuesAndStopAtTheEnds) {
    TALDLLog& log = datasets.NewDataset(acq().sharedParameters());
    for (uint32_t r = 1; r <= 3; ++r) {
        log.SetRows(r);
        const std::vector<uint8_t> data = testing::TestLogRow(r * 10); // engine speed byte r * 10
        log.WriteRow(r, data.data(), r * 0.2);
    }
    log.DeriveChannels();
    log.StoreName = "Test drive";
    form->WriteTableData(3);
    EXPECT_EQ(line("Engine speed"), "Engine speed: 750.0 RPM");
    EXPECT_EQ(form->dlgPointNo->text(), "3");
    EXPECT_EQ(form->dlgNoPoints->text(), "3");
    EXPECT_EQ(form->dlgDescription->text(), "Test drive");
    EXPECT_EQ(form->dlgDataSet->currentText(), "Dataset 0");

    form->NextBtn->click(); // past the last row: nothing changes
    EXPECT_EQ(form->dlgPointNo->text(), "3");
    EXPECT_EQ(line("Engine speed"), "Engine speed: 750.0 RPM");
    form->PreviousBtn->click();
    EXPECT_EQ(form->dlgPointNo->text(), "2");
    EXPECT_EQ(line("Engine speed"), "Engine speed: 500.0 RPM");
    form->PreviousBtn->click();
    form->PreviousBtn->click(); // before row 1: nothing changes
    EXPECT_EQ(form->dlgPointNo->text(), "1");
    EXPECT_EQ(line("Engine speed"), "Engine speed: 250.0 RPM");
}

TEST_F(CommsFormTest, PeriodBoxesApplyRefuseOrTakeTheFocusBack) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->StartTalkingActionExecute();
    EXPECT_EQ(form->dlgAcqPeriod->text(), "200");
    EXPECT_EQ(form->dlgRedrawPeriod->text(), "2000");

    auto enter = [&](QLineEdit* box, const QString& text) {
        box->setFocus();
        box->setText(text);
        QTest::keyClick(box, Qt::Key_Return);
        QTest::qWait(20);
    };
    enter(form->dlgAcqPeriod, "150");
    EXPECT_EQ(acq().acquisitionInterval(), 150u);

    form->dlgErrorLog->setFocus();
    enter(form->dlgAcqPeriod, "0");
    EXPECT_EQ(acq().acquisitionInterval(), 150u);
    EXPECT_TRUE(form->dlgAcqPeriod->hasFocus());

    form->dlgErrorLog->setFocus();
    enter(form->dlgRedrawPeriod, "soon");
    EXPECT_EQ(acq().redrawInterval(), 2000u);
    EXPECT_TRUE(form->dlgRedrawPeriod->hasFocus());

    enter(form->dlgRedrawPeriod, "-5");
    EXPECT_EQ(acq().redrawInterval(), 2000u);
    ASSERT_EQ(messenger.texts("Error").size(), 1u);
    form->StopTalkingActionExecute();
}

TEST_F(CommsFormTest, ErrorLogShowsLinesAsTheyComeAndKeepsTheNewest100) {
    double days = 45000;
    acq().setClock([&days] { return days; });
    // The link is closed: every tick says so, here a second apart.
    acq().setTestMode(false);
    form->StartTalkingActionExecute();
    for (int i = 0; i < 150; ++i) {
        days += 1.0 / 86400;
        acq().acquisitionTick();
    }
    acq().updateTick();
    EXPECT_EQ(form->dlgErrorLog->document()->blockCount(), 100);
    EXPECT_EQ(form->dlgErrorLog->document()->lastBlock().text(), "Comm port inactive");
    EXPECT_EQ(acq().errorLog().size(), 100u);
    // Five ticks a second: no flood, but a count once a second.
    for (int i = 0; i < 10; ++i) {
        days += 0.2 / 86400;
        acq().acquisitionTick();
    }
    EXPECT_EQ(acq().errorLog().size(), 102u);
    EXPECT_EQ(form->dlgErrorLog->document()->lastBlock().text(),
              "Comm port inactive (5 more in the last second)");
    form->StopTalkingActionExecute();
    acq().setClock(nullptr);
}

TEST_F(CommsFormTest, TreePopUpPicksSelectorItemsOnly) {
    QTreeWidgetItem* flags = node("Flags 30");
    form->ParameterTree->setCurrentItem(flags);
    form->TreePopUpPopup();
    EXPECT_FALSE(form->PlotAsxAction->isEnabled()); // a flag entry cannot be x
    EXPECT_TRUE(form->PlotAsCurve1Action->isEnabled());

    form->ParameterTree->setCurrentItem(flags->child(0));
    form->TreePopUpPopup();
    EXPECT_FALSE(form->PlotAsxAction->isEnabled());
    form->PlotAsCurve2Action->trigger();
    EXPECT_EQ(form->dlgCurve2->currentText(), "Throttle>0");
    const int def = form->dlgCurve2->currentData(SelectorFlagDefRole).toInt();
    ASSERT_GE(def, 1);
    EXPECT_EQ(form->FlagDefs[size_t(def - 1)].ParamName, "Flags 30");

    form->ParameterTree->setCurrentItem(node("Engine speed"));
    form->TreePopUpPopup();
    ASSERT_TRUE(form->PlotAsxAction->isEnabled());
    form->PlotAsxAction->trigger();
    EXPECT_EQ(form->dlgxAxis->currentText(), "Engine speed");
    form->PlotAsCurve1Action->trigger();
    EXPECT_EQ(form->dlgCurve1->currentText(), "Engine speed");

    form->StartTalkingActionExecute();
    form->TreePopUpPopup();
    EXPECT_FALSE(form->PlotAsCurve1Action->isEnabled());
    form->StopTalkingActionExecute();
}

TEST_F(CommsFormTest, ClosingTheLastDatasetSaysNoData) {
    record(3);
    EXPECT_EQ(form->dlgDataSet->currentText(), "Dataset 0");
    messenger.answers = {false}; // "not saved. Save now?" No
    datasets.closeDataset();
    form->refreshDataSetSelector();
    EXPECT_EQ(form->dlgDataSet->count(), 0);
    EXPECT_EQ(form->dlgDataSet->placeholderText(), "No data");
    EXPECT_EQ(messenger.texts("Warning"), std::vector<std::string>{"Dataset 0 not saved. Save now?"});
    EXPECT_EQ(form->ParameterTree->topLevelItem(entryIndex("Engine speed"))->text(0), "Engine speed");
}

} // namespace
} // namespace quillmar
