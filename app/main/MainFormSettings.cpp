// The frame's settings (port and placement) and the comm port dialog.
#include "app/main/MainForm.h"

#include "acquisition/Settings.h"
#include "acquisition/window/CommsForm.h"
#include "app/gauge/DashboardSettings.h"
#include "app/main/FrameGeometry.h"
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
    readRecentFiles(*settings);
    dashboard_ = LoadDashboard(*settings);
    if (!SettingsKeyExists(*settings)) {
        CommPort = 1;
        fitToScreen();
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
    fitToScreen();
}

void TMainForm::fitToScreen() {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return;
    // The screen holding most of the frame; the primary one when none does.
    const QRect frame(pos(), size());
    const QScreen* screen = QGuiApplication::primaryScreen();
    qint64 most = 0;
    for (const QScreen* s : screens) {
        const QRect common = s->availableGeometry().intersected(frame);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > most) {
            most = area;
            screen = s;
        }
    }
    if (!screen) return;
    // The window manager's title bar and borders: known once the frame is
    // shown, guessed before.
    QSize decoration = frameGeometry().size() - size();
    if (decoration.width() <= 0 && decoration.height() <= 0) decoration = QSize(8, 32);
    const QRect room = screen->availableGeometry();
    const QSize least = minimumSizeHint().expandedTo(minimumSize());
    const FrameRect fitted = FitFrame({frame.x(), frame.y(), frame.width(), frame.height()},
                                      {room.x(), room.y(), room.width(), room.height()}, decoration.width(),
                                      decoration.height(), least.width(), least.height());
    if (QSize(fitted.Width, fitted.Height) != size()) resize(fitted.Width, fitted.Height);
    if (QPoint(fitted.X, fitted.Y) != pos()) move(fitted.X, fitted.Y);
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

bool TMainForm::showCommDialog(bool firstStart, bool* keptPortInUse) {
    // At the first start the frame is not shown yet: centre on the screen.
    TSetCommDlg dialog(CommPort, findDevices(), firstStart ? nullptr : this);
    // The port this run uses, also one given on the command line as a path.
    dialog.showPortInUse(currentPort());
    if (firstStart && options_.App.Port.empty()) dialog.proposeSingleUsbAdapter();
    if (options_.App.KeepSettings())
        dialog.setNote("This run keeps no settings: the choice lasts until the program ends.");
    if (dialog.exec() != QDialog::Accepted) return false;
    if (keptPortInUse) *keptPortInUse = dialog.keepsPortInUse();
    if (!options_.App.KeepSettings() && !dialog.assignments().empty()) {
        std::unique_ptr<QSettings> settings = OpenSettings();
        for (const auto& [number, device] : dialog.assignments())
            StorePortOverride(*settings, number, device);
        settings->sync();
    }
    return true;
}

void TMainForm::SetCommPortActionExecute() {
    bool kept = false;
    if (!showCommDialog(false, &kept) || !commsForm_) return;
    // OK without choosing a name: the device in use stays; one that is not
    // open is tried again.
    if (kept) {
        Acquisition& acq = commsForm_->acquisition();
        if (acq.comms() && acq.comms()->IsOpen()) return;
        const std::string port = currentPort();
        if (acq.reconnect(port)) {
            commsForm_->clearConnectFailure();
            showStatus(QString::fromStdString("Connected to " + port), 10000);
        } else
            commsForm_->reportConnectFailure(port);
        updatePortLabel();
        return;
    }
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
