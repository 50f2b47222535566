#pragma once
// The "Set comm port" dialog: the twenty names COM1..COM20 with the device
// each one opens here and whether that device is present, and a second list
// of the serial devices found now (link/SerialPorts.h), any of which can be
// assigned to the selected name.

#include "link/SerialPorts.h"

#include <QDialog>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QTreeWidget;

namespace quillmar {

// True when path (after its links) is a character device.
bool DevicePresent(const std::string& path);

class TSetCommDlg : public QDialog {
    Q_OBJECT

public:
    // commPort: the main window's CommPort (1..20), set when the dialog
    // closes with OK. devices: the second list.
    TSetCommDlg(int32_t& commPort, std::vector<SerialDeviceInfo> devices, QWidget* parent = nullptr);

    // Fills the list and shows (and selects) the current port's name.
    void FormCreate();
    // With exactly one USB adapter among the devices: assigns it to COM1 and
    // selects COM1. True when it did.
    bool proposeSingleUsbAdapter();
    // Assigns device row (of the second list) to the selected name: its
    // by-id link where there is one, else its device node.
    void assignDevice(int row);
    // The selected name opens its default device again.
    void restoreDefaultDevice();
    // Shows the port the program uses now: its list entry when it is one of
    // the names, else the device path as it was given, selecting nothing.
    void showPortInUse(const std::string& port);
    // True when the dialog shows a device path in use and no entry of the
    // list was chosen: OK keeps that device.
    bool keepsPortInUse() const { return selected_ < 0 && !portInUse_.empty(); }
    // Says below the lists that this run keeps no settings.
    void setNote(const QString& text);

    // The list entry chosen, -1 none. Only the list selects: typed text does not.
    int selectedIndex() const { return selected_; }
    // What this dialog assigned: COMn -> device (empty: the default again).
    // Taken into the port table when the dialog closes with OK.
    const std::map<uint8_t, std::string>& assignments() const { return assignments_; }

    QComboBox* dlgCommPort = nullptr;
    QTreeWidget* dlgDevices = nullptr;
    QLabel* DeviceLabel = nullptr;
    QLabel* NoteLabel = nullptr;
    QPushButton* AssignBtn = nullptr;
    QPushButton* DefaultBtn = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

protected:
    // FormClose: with OK, CommPort = selected entry + 1 and the assignments
    // go into the port table.
    void done(int result) override;

private:
    void select(int index);
    std::string deviceOf(int index) const;
    void updateRow(int index);
    void updateLabels();

    int32_t& commPort_;
    std::vector<SerialDeviceInfo> devices_;
    QStandardItemModel* model_ = nullptr;
    int selected_ = -1;
    std::map<uint8_t, std::string> assignments_;
    std::string portInUse_; // a device path shown, not one of the names
};

} // namespace quillmar
