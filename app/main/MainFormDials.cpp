// The dials window: its switch, its layout (Dials > Layout..., kept in the
// settings) and the values every tick hands it.
#include "app/main/MainForm.h"

#include "acquisition/Settings.h"
#include "acquisition/window/CommsForm.h"
#include "app/gauge/DashboardDialog.h"
#include "app/gauge/DashboardSettings.h"
#include "app/gauge/DialDialog.h"

#include <QAction>

namespace quillmar {

void TMainForm::Enabledials1Click() {
    if (!commsForm_) return;
    Acquisition& acq = commsForm_->acquisition();
    acq.setEnableDials(Enabledials1->isChecked());
    // While idle the dials window waits for the next "Start talking".
    if (acq.acquisitionRunning()) setDialsWindow(Enabledials1->isChecked());
}

TDialDialog* TMainForm::DialsWindow() const {
    return dials_;
}

void TMainForm::setDialsWindow(bool open) {
    if (!open) {
        // Freed once the event that closes it is over.
        if (dials_) {
            dials_->hide();
            dials_->deleteLater();
            dials_ = nullptr;
        }
        return;
    }
    if (!dials_ && commsForm_) {
        dials_ =
            new TDialDialog(commsForm_->StartLoggingAction, commsForm_->StopLoggingAction, this, dashboard_);
        connect(dials_, &TDialDialog::dangerCrossed, this,
                [this](const DangerCrossing& crossing) { emit dialDangerCrossed(crossing); });
    }
    if (dials_) dials_->show();
}

void TMainForm::showDialValues() {
    if (!dials_ || !commsForm_) return;
    const Acquisition& acq = commsForm_->acquisition();
    // While logging, the time of the row just recorded (the Time entry holds it).
    std::optional<double> recordingTime;
    uint32_t recordingRow = 0;
    const int32_t time = acq.indices().TimeIndex;
    const TParameterArray& params = commsForm_->acquisition().parameters();
    if (acq.logging() && acq.rowCounter() > 0 && time >= 1 && time <= int32_t(params.size())) {
        recordingTime = params[size_t(time - 1)].Value;
        recordingRow = uint32_t(acq.rowCounter());
    }
    dials_->showValues(params, recordingTime, recordingRow);
}

// ---- the layout --------------------------------------------------------------

TDashboardDialog* TMainForm::makeDialsLayoutDialog() {
    std::vector<GaugeParameter> parameters;
    if (commsForm_)
        for (const TParameter& p : commsForm_->acquisition().parameters())
            if (!p.Flags) parameters.push_back({p.Name, p.Units});
    auto* dialog = new TDashboardDialog(dashboard_, std::move(parameters), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { DialsLayoutAccept(dialog->layout()); });
    return dialog;
}

void TMainForm::DialsLayoutActionExecute() {
    // Window-modal, without a loop of its own: OK applies the layout.
    TDashboardDialog* dialog = makeDialsLayoutDialog();
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
}

void TMainForm::DialsLayoutAccept(const DashboardLayout& layout) {
    dashboard_ = layout;
    if (!options_.App.KeepSettings()) {
        std::unique_ptr<QSettings> settings = OpenSettings();
        StoreDashboard(*settings, dashboard_);
        settings->sync();
    }
    if (dials_) dials_->setDashboard(dashboard_);
}

} // namespace quillmar
