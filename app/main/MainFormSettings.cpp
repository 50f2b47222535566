// The frame's settings (port and placement) and the comm port dialog.
#include "app/main/MainForm.h"

#include "acquisition/Settings.h"
#include "acquisition/window/CommsForm.h"
#include "link/ALDLComms.h"
#include "link/PortTable.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace quillmar {

// ---- settings --------------------------------------------------------------

void TMainForm::ReadRegistry() {
    std::unique_ptr<QSettings> settings = OpenSettings();
    LoadPortOverrides(*settings);
    logFolder_ = LogFolder(*settings);
    if (!SettingsKeyExists(*settings)) {
        CommPort = 1;
        // A run that keeps no settings asks nothing either.
        if (!options_.App.KeepSettings() && showCommDialog(true)) UpdateRegistry();
        return;
    }
    ReadRegistryEntries(*settings);
    // A place on a screen that is no longer there: back where a first start puts it.
    const QRect frame(pos(), size());
    bool onScreen = QGuiApplication::screens().isEmpty();
    for (const QScreen* screen : QGuiApplication::screens())
        onScreen =
            onScreen || screen->availableGeometry().intersects(frame.adjusted(0, 0, 0, -frame.height() + 40));
    if (!onScreen) move(DefaultLeft, DefaultTop);
}

void TMainForm::ReadRegistryEntries(QSettings& settings) {
    // Read in order until the first value that is missing or not a number.
    const auto port = ReadInt32(settings, "Port");
    if (!port || *port < FirstPortNumber || *port > LastPortNumber) return;
    CommPort = *port;
    const auto left = ReadInt32(settings, "Main x-pos");
    if (!left) return;
    move(*left, pos().y());
    const auto top = ReadInt32(settings, "Main y-pos");
    if (!top) return;
    move(pos().x(), *top);
    // Sizes a window could not have are pulled into a usable range.
    const auto height = ReadInt32(settings, "Main height");
    if (!height) return;
    resize(width(), std::clamp(*height, 200, 16384));
    const auto width = ReadInt32(settings, "Main width");
    if (!width) return;
    resize(std::clamp(*width, 300, 16384), this->height());
}

void TMainForm::WriteRegistryEntries(QSettings& settings) {
    const QRect normal = isMaximized() || isFullScreen() ? normalGeometry() : QRect(pos(), size());
    WriteInt32(settings, "Port", CommPort);
    WriteInt32(settings, "Main x-pos", normal.x());
    WriteInt32(settings, "Main y-pos", normal.y());
    WriteInt32(settings, "Main height", normal.height());
    WriteInt32(settings, "Main width", normal.width());
}

void TMainForm::UpdateRegistry() {
    std::unique_ptr<QSettings> settings = OpenSettings();
    WriteRegistryEntries(*settings);
    settings->sync();
}

// ---- the comm port ---------------------------------------------------------

std::vector<SerialDeviceInfo> TMainForm::findDevices() const {
    return options_.FindDevices ? options_.FindDevices() : FindSerialDevices();
}

bool TMainForm::showCommDialog(bool firstStart) {
    // At the first start the frame is not shown yet: centre on the screen.
    TSetCommDlg dialog(CommPort, findDevices(), firstStart ? nullptr : this);
    if (firstStart) dialog.proposeSingleUsbAdapter();
    if (options_.App.KeepSettings())
        dialog.setNote("This run keeps no settings: the choice lasts until the program ends.");
    if (dialog.exec() != QDialog::Accepted) return false;
    if (!options_.App.KeepSettings() && !dialog.assignments().empty()) {
        std::unique_ptr<QSettings> settings = OpenSettings();
        for (const auto& [number, device] : dialog.assignments())
            StorePortOverride(*settings, number, device);
        settings->sync();
    }
    return true;
}

void TMainForm::SetCommPortActionExecute() {
    if (!showCommDialog(false) || !commsForm_) return;
    // The dialog's port from now on, also in a run started on another one.
    options_.App.Port.clear();
    demoEngine_.reset();
    const std::string port = PortName(uint8_t(CommPort));
    Acquisition& acq = commsForm_->acquisition();
    if (acq.reconnect(port)) {
        const QString line =
            QString::fromStdString("Connected to " + port + " (" + acq.comms()->DevicePath() + ")");
        commsForm_->clearConnectFailure();
        commsForm_->appendErrorLog(line);
        showStatus(line, 10000);
    } else
        commsForm_->reportConnectFailure(port);
    updatePortLabel();
}

} // namespace quillmar
