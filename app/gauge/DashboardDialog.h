#pragma once
// "Dials layout": edits the dashboard's gauges (parameter, dial or digital
// read-out, caption, unit, scale, thresholds), their order, the number of
// columns and the gauges' size. "Default" brings back the two dials of the
// first versions. The layout is taken with OK; the dialog holds it, the
// caller keeps it.

#include "app/gauge/core/DashboardLayout.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace quillmar {

// A parameter the gauges can show: its name in the table and its unit.
struct GaugeParameter {
    std::string Name;
    std::string Unit;
};

class TDashboardDialog : public QDialog {
    Q_OBJECT
public:
    TDashboardDialog(const DashboardLayout& layout, std::vector<GaugeParameter> parameters,
                     QWidget* parent = nullptr);

    // The layout as edited.
    const DashboardLayout& layout() const { return layout_; }
    // Shows layout for editing (what "Default" does with the default).
    void setLayout(const DashboardLayout& layout);
    // The gauge being edited; -1 when none.
    int currentGauge() const;
    void selectGauge(int index);
    // What is wrong with the layout (OK is disabled meanwhile); empty when
    // nothing.
    QString problem() const;

    // A new gauge after the current one, showing the first parameter not
    // shown yet.
    void addGauge();
    void removeGauge();
    void moveGauge(int by);

    QListWidget* GaugeList = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* RemoveButton = nullptr;
    QPushButton* UpButton = nullptr;
    QPushButton* DownButton = nullptr;
    QComboBox* ParameterBox = nullptr;
    QComboBox* KindBox = nullptr;
    QLineEdit* CaptionEdit = nullptr;
    QLineEdit* UnitEdit = nullptr;
    QDoubleSpinBox* MinimumBox = nullptr;
    QDoubleSpinBox* MaximumBox = nullptr;
    QDoubleSpinBox* MultiplierBox = nullptr;
    QSpinBox* TicksBox = nullptr;
    QComboBox* StyleBox = nullptr;
    QSpinBox* SweepBox = nullptr;
    QSpinBox* DecimalsBox = nullptr;
    QCheckBox* WarningCheck = nullptr;
    QComboBox* WarningSideBox = nullptr;
    QDoubleSpinBox* WarningBox = nullptr;
    QCheckBox* DangerCheck = nullptr;
    QComboBox* DangerSideBox = nullptr;
    QDoubleSpinBox* DangerBox = nullptr;
    QSpinBox* ColumnsBox = nullptr;
    QSpinBox* SizeBox = nullptr;
    QLabel* ProblemLabel = nullptr;
    QDialogButtonBox* Buttons = nullptr;
    QPushButton* DefaultButton = nullptr;

private:
    void buildControls();
    // The editor's controls from the current gauge, and back.
    void showGauge();
    void storeGauge();
    void parameterChosen();
    void refreshList();
    void refreshState();

    DashboardLayout layout_;
    std::vector<GaugeParameter> parameters_;
    bool showing_ = false; // the controls are being filled: no edits
};

} // namespace quillmar
