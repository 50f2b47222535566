#pragma once
// The axes dialog: edits a working copy of a graph's axes (title, x axis and
// one y axis at a time on two tabs) and assigns it back on OK.

#include "graph/core/Axes.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QFont;
class QLineEdit;
class QPushButton;
class QTabBar;

namespace quillmar {

class TGraph;

class TAxesDlg : public QDialog {
    Q_OBJECT
public:
    // graph: redrawn after OK (may be null).
    TAxesDlg(QWidget* owner, TGraph* graph);
    ~TAxesDlg() override;

    void Show(TAxes& axes);

    TAxes* Target() const { return target_; }
    TAxes* Working() const { return working_.get(); }
    int YAxisIndex() const { return yAxisIndex_; }

    void SetFields();
    void SetInfo();
    // The font a font button chose, for the title (0), the x axis (1) or the y
    // axis shown (2): the font is replaced and the divisor keeps the new to
    // old size ratio.
    void ApplyFont(int which, const QFont& font);
    void ApplyColour(int which, TColor colour); // x axis (1) or the y axis shown (2)

    QLineEdit* dlgAxesTitle1 = nullptr;
    QLineEdit* dlgAxesTitle2 = nullptr;
    QPushButton* dlgTitleFont = nullptr;
    QCheckBox* dlgLegend = nullptr;
    QLineEdit* dlgxLabel = nullptr;
    QLineEdit* dlgxUnit = nullptr;
    QCheckBox* dlgAutoScalexMin = nullptr;
    QCheckBox* dlgAutoScalexmax = nullptr;
    QLineEdit* dlgxMin = nullptr;
    QLineEdit* dlgxMax = nullptr;
    QCheckBox* dlgxScale = nullptr;
    QPushButton* dlgxColour = nullptr;
    QPushButton* dlgxFont = nullptr;
    QTabBar* TabControl1 = nullptr;
    QLineEdit* dlgyLabel = nullptr;
    QLineEdit* dlgyUnit = nullptr;
    QCheckBox* dlgAutoScaleyMin = nullptr;
    QCheckBox* dlgAutoScaleyMax = nullptr;
    QLineEdit* dlgymin = nullptr;
    QLineEdit* dlgymax = nullptr;
    QCheckBox* dlgyScale = nullptr;
    QPushButton* dlgycolour = nullptr;
    QPushButton* dlgyfont = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

public slots:
    void OKBtnClick();
    void CancelBtnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void prepare(TAxes& axes);
    void autoClicked(QCheckBox* box);
    // Reads a minimum/maximum edit into the working copy; false when the
    // text is not a number (the focus then goes back to it).
    bool rangeEdited(QLineEdit* edit);
    void tabChanged(int index);
    void chooseFont(int which);
    void chooseColour(int which);
    TAxis& yAxis();

    TGraph* graph_ = nullptr;
    TAxes* target_ = nullptr;
    std::unique_ptr<TAxes> working_;
    int yAxisIndex_ = 1;
};

} // namespace quillmar
