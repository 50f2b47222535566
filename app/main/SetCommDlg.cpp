#include "app/main/SetCommDlg.h"

#include "link/PortTable.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include <sys/stat.h>

namespace quillmar {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QString presence(const std::string& device) {
    return DevicePresent(device) ? "present" : "not present";
}

} // namespace

bool DevicePresent(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

TSetCommDlg::TSetCommDlg(int32_t& commPort, std::vector<SerialDeviceInfo> devices, QWidget* parent)
    : QDialog(parent), commPort_(commPort), devices_(std::move(devices)) {
    setObjectName("SetCommDlg");
    setWindowTitle("Set comm port");
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* portRow = new QHBoxLayout;
    auto* portLabel = new QLabel("Port", this);
    dlgCommPort = new QComboBox(this);
    dlgCommPort->setObjectName("dlgCommPort");
    dlgCommPort->setEditable(true);
    dlgCommPort->setInsertPolicy(QComboBox::NoInsert);
    // Typing a name selects nothing: no completion, and a finished edit is not
    // looked up among the entries (only the list chooses).
    dlgCommPort->setCompleter(nullptr);
    QObject::disconnect(dlgCommPort->lineEdit(), &QLineEdit::editingFinished, dlgCommPort, nullptr);
    QObject::disconnect(dlgCommPort->lineEdit(), &QLineEdit::returnPressed, dlgCommPort, nullptr);
    dlgCommPort->setMinimumContentsLength(8);
    model_ = new QStandardItemModel(0, 3, this);
    model_->setHorizontalHeaderLabels({"Port", "Device", "State"});
    auto* view = new QTreeView(dlgCommPort);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setAllColumnsShowFocus(true);
    view->header()->setStretchLastSection(true);
    dlgCommPort->setModel(model_);
    dlgCommPort->setView(view);
    portLabel->setBuddy(dlgCommPort);
    portRow->addWidget(portLabel);
    portRow->addWidget(dlgCommPort, 1);
    layout->addLayout(portRow);
    DeviceLabel = new QLabel(this);
    DeviceLabel->setObjectName("DeviceLabel");
    DeviceLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(DeviceLabel);

    layout->addSpacing(6);
    layout->addWidget(new QLabel("Serial devices found on this computer:", this));
    dlgDevices = new QTreeWidget(this);
    dlgDevices->setObjectName("dlgDevices");
    dlgDevices->setRootIsDecorated(false);
    dlgDevices->setAllColumnsShowFocus(true);
    dlgDevices->setHeaderLabels({"Device", "Description", "Name in /dev/serial/by-id"});
    for (const SerialDeviceInfo& d : devices_) {
        const std::string byId =
            d.ById.empty() ? std::string() : std::filesystem::path(d.ById).filename().string();
        auto* item = new QTreeWidgetItem(dlgDevices, QStringList{q(d.Device), q(d.Description), q(byId)});
        // The name "Assign" puts in the port table.
        for (int c = 0; c < 3; ++c)
            item->setToolTip(c, q(d.StableName()));
    }
    if (devices_.empty()) {
        auto* none = new QTreeWidgetItem(dlgDevices, QStringList{"No serial devices found"});
        none->setFlags(Qt::NoItemFlags);
        none->setFirstColumnSpanned(true);
    }
    int listWidth = 0;
    for (int c = 0; c < dlgDevices->columnCount(); ++c) {
        dlgDevices->resizeColumnToContents(c);
        listWidth += dlgDevices->columnWidth(c);
    }
    dlgDevices->setMinimumWidth(std::clamp(listWidth + 8, 480, 860));
    dlgDevices->setMinimumHeight(110);
    layout->addWidget(dlgDevices, 1);

    auto* assignRow = new QHBoxLayout;
    AssignBtn = new QPushButton(this);
    AssignBtn->setObjectName("AssignBtn");
    AssignBtn->setAutoDefault(false);
    DefaultBtn = new QPushButton(this);
    DefaultBtn->setObjectName("DefaultBtn");
    DefaultBtn->setAutoDefault(false);
    assignRow->addWidget(AssignBtn);
    assignRow->addWidget(DefaultBtn);
    assignRow->addStretch(1);
    layout->addLayout(assignRow);
    NoteLabel = new QLabel(this);
    NoteLabel->setObjectName("NoteLabel");
    NoteLabel->setWordWrap(true);
    NoteLabel->hide();
    layout->addWidget(NoteLabel);

    auto* box = new QDialogButtonBox(this);
    OKBtn = box->addButton("OK", QDialogButtonBox::AcceptRole);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = box->addButton("Cancel", QDialogButtonBox::RejectRole);
    CancelBtn->setObjectName("CancelBtn");
    layout->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(dlgCommPort, &QComboBox::activated, this, [this](int index) { select(index); });
    connect(AssignBtn, &QPushButton::clicked, this, [this] {
        if (QTreeWidgetItem* item = dlgDevices->currentItem())
            assignDevice(dlgDevices->indexOfTopLevelItem(item));
    });
    connect(dlgDevices, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { assignDevice(dlgDevices->indexOfTopLevelItem(item)); });
    connect(dlgDevices, &QTreeWidget::currentItemChanged, this, [this] { updateLabels(); });
    connect(DefaultBtn, &QPushButton::clicked, this, [this] { restoreDefaultDevice(); });

    FormCreate();
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TSetCommDlg::FormCreate() {
    model_->removeRows(0, model_->rowCount());
    for (uint8_t n = FirstPortNumber; n <= LastPortNumber; ++n) {
        QList<QStandardItem*> row{new QStandardItem(q(PortName(n))), new QStandardItem, new QStandardItem};
        for (QStandardItem* i : row)
            i->setEditable(false);
        model_->appendRow(row);
        updateRow(n - 1);
    }
    const int index = commPort_ >= FirstPortNumber && commPort_ <= LastPortNumber ? commPort_ - 1 : -1;
    dlgCommPort->setCurrentIndex(index);
    if (index < 0) dlgCommPort->setEditText(QString());
    select(index);
}

std::string TSetCommDlg::deviceOf(int index) const {
    const uint8_t n = uint8_t(index + 1);
    if (const auto it = assignments_.find(n); it != assignments_.end())
        return it->second.empty() ? "/dev/ttyS" + std::to_string(index) : it->second;
    return PortDevice(n);
}

void TSetCommDlg::updateRow(int index) {
    const std::string device = deviceOf(index);
    model_->item(index, 1)->setText(q(device));
    model_->item(index, 2)->setText(presence(device));
    model_->item(index, 0)->setToolTip(q(device));
    // The drop-down shows every column in full.
    auto* view = static_cast<QTreeView*>(dlgCommPort->view());
    int width = 0;
    for (int c = 0; c < 3; ++c) {
        view->resizeColumnToContents(c);
        width += view->columnWidth(c);
    }
    view->setMinimumWidth(width + view->verticalScrollBar()->sizeHint().width() + 8);
}

void TSetCommDlg::showPortInUse(const std::string& port) {
    portInUse_.clear();
    for (uint8_t n = FirstPortNumber; n <= LastPortNumber; ++n)
        if (port == PortName(n)) {
            dlgCommPort->setCurrentIndex(n - 1);
            select(n - 1);
            return;
        }
    if (port.empty()) return;
    portInUse_ = port;
    dlgCommPort->setCurrentIndex(-1);
    dlgCommPort->setEditText(q(port));
    select(-1);
}

void TSetCommDlg::select(int index) {
    selected_ = index >= 0 && index < model_->rowCount() ? index : -1;
    updateLabels();
}

void TSetCommDlg::updateLabels() {
    if (selected_ < 0 && !portInUse_.empty()) {
        DeviceLabel->setText(QString("In use: %1 (%2). OK keeps it; or choose a port from the list.")
                                 .arg(q(portInUse_), presence(portInUse_)));
    } else if (selected_ < 0) {
        DeviceLabel->setText("Choose a port from the list.");
    } else {
        const std::string device = deviceOf(selected_);
        DeviceLabel->setText(QString("%1 opens %2 (%3)")
                                 .arg(q(PortName(uint8_t(selected_ + 1))), q(device), presence(device)));
    }
    const QString name = selected_ >= 0 ? q(PortName(uint8_t(selected_ + 1))) : QString("the port");
    AssignBtn->setText("Assign to " + name);
    DefaultBtn->setText("Default device for " + name);
    QTreeWidgetItem* item = dlgDevices->currentItem();
    AssignBtn->setEnabled(selected_ >= 0 && item && (item->flags() & Qt::ItemIsEnabled));
    DefaultBtn->setEnabled(selected_ >= 0);
}

void TSetCommDlg::assignDevice(int row) {
    if (selected_ < 0 || row < 0 || row >= int(devices_.size())) return;
    assignments_[uint8_t(selected_ + 1)] = devices_[size_t(row)].StableName();
    updateRow(selected_);
    updateLabels();
}

void TSetCommDlg::restoreDefaultDevice() {
    if (selected_ < 0) return;
    assignments_[uint8_t(selected_ + 1)] = std::string();
    updateRow(selected_);
    updateLabels();
}

bool TSetCommDlg::proposeSingleUsbAdapter() {
    int usb = -1, count = 0;
    for (size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i].Usb) {
            usb = int(i);
            ++count;
        }
    if (count != 1) return false;
    dlgCommPort->setCurrentIndex(0);
    select(0);
    assignDevice(usb);
    dlgDevices->setCurrentItem(dlgDevices->topLevelItem(usb));
    setNote("One USB serial adapter was found; COM1 is set to open it.");
    return true;
}

void TSetCommDlg::setNote(const QString& text) {
    NoteLabel->setText(NoteLabel->text().isEmpty() ? text : NoteLabel->text() + "\n" + text);
    NoteLabel->setVisible(!NoteLabel->text().isEmpty());
}

void TSetCommDlg::done(int result) {
    if (result == QDialog::Accepted) {
        if (selected_ >= 0) commPort_ = selected_ + 1;
        for (const auto& [number, device] : assignments_)
            SetPortDevice(number, device);
    }
    QDialog::done(result);
}

} // namespace quillmar
