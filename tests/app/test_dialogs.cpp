// The comm port dialog, the messenger's message boxes and the command line.

#include "tests/app/AppTestSupport.h"

#include "app/main/AppOptions.h"
#include "app/main/QtMessenger.h"
#include "link/ALDLComms.h"
#include "link/PortTable.h"
#include "tests/link/PtyPair.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

using testing::answerNextModal;

// Puts the port table back as it was.
struct PortTableGuard {
    ~PortTableGuard() {
        for (uint8_t n = FirstPortNumber; n <= LastPortNumber; ++n)
            SetPortDevice(n, "");
    }
};

SerialDeviceInfo usbAdapter(const std::string& byId) {
    SerialDeviceInfo d;
    d.Device = "/dev/ttyUSB0";
    d.ById = byId;
    d.Description = "FTDI FT232R USB UART, serial A5028";
    d.Manufacturer = "FTDI";
    d.Product = "FT232R USB UART";
    d.SerialNumber = "A5028";
    d.Driver = "ftdi_sio";
    d.Usb = true;
    return d;
}

QString portRowText(TSetCommDlg& dialog, int row, int column) {
    return dialog.dlgCommPort->model()->index(row, column).data().toString();
}

TEST(SetCommDlg, ChoosingFromTheListSetsThePortCancelAndTypingDoNot) {
    PortTableGuard guard;
    int32_t commPort = 1;
    {
        TSetCommDlg dialog(commPort, {});
        ASSERT_EQ(dialog.dlgCommPort->count(), 20);
        EXPECT_EQ(dialog.dlgCommPort->itemText(0), "COM1");
        EXPECT_EQ(dialog.dlgCommPort->itemText(19), "COM20");
        EXPECT_EQ(dialog.dlgCommPort->currentText(), "COM1");
        emit dialog.dlgCommPort->activated(2);
        dialog.OKBtn->click();
    }
    EXPECT_EQ(commPort, 3);
    {
        TSetCommDlg dialog(commPort, {});
        emit dialog.dlgCommPort->activated(9);
        dialog.CancelBtn->click();
    }
    EXPECT_EQ(commPort, 3);
    {
        TSetCommDlg dialog(commPort, {});
        dialog.show();
        QLineEdit* edit = dialog.dlgCommPort->lineEdit();
        edit->selectAll();
        QTest::keyClicks(edit, "COM7");
        QTest::keyClick(edit, Qt::Key_Return); // OK is the default button
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(commPort, 3);
}

TEST(SetCommDlg, EachNameShowsItsDeviceAndWhetherItIsThere) {
    PortTableGuard guard;
    SetPortDevice(2, "/dev/null");
    SetPortDevice(5, "/nonexistent/ttyUSB9");
    int32_t commPort = 2;
    TSetCommDlg dialog(commPort, {usbAdapter("/dev/serial/by-id/usb-FTDI-if00")});
    EXPECT_EQ(portRowText(dialog, 1, 1), "/dev/null");
    EXPECT_EQ(portRowText(dialog, 1, 2), "present");
    EXPECT_EQ(portRowText(dialog, 4, 1), "/nonexistent/ttyUSB9");
    EXPECT_EQ(portRowText(dialog, 4, 2), "not present");
    EXPECT_EQ(portRowText(dialog, 6, 1), "/dev/ttyS6");
    EXPECT_EQ(dialog.DeviceLabel->text(), "COM2 opens /dev/null (present)");

    // The second list: what is found now, assigned to the selected name.
    ASSERT_EQ(dialog.dlgDevices->topLevelItemCount(), 1);
    QTreeWidgetItem* found = dialog.dlgDevices->topLevelItem(0);
    EXPECT_EQ(found->text(0), "/dev/ttyUSB0");
    EXPECT_EQ(found->text(1), "FTDI FT232R USB UART, serial A5028");
    EXPECT_EQ(found->text(2), "usb-FTDI-if00");
    EXPECT_EQ(found->toolTip(0), "/dev/serial/by-id/usb-FTDI-if00");
    emit dialog.dlgCommPort->activated(3);
    dialog.dlgDevices->setCurrentItem(found);
    EXPECT_EQ(dialog.AssignBtn->text(), "Assign to COM4");
    dialog.AssignBtn->click();
    EXPECT_EQ(portRowText(dialog, 3, 1), "/dev/serial/by-id/usb-FTDI-if00");
    EXPECT_EQ(PortDevice(4), "/dev/ttyS3"); // not before OK
    emit dialog.dlgCommPort->activated(1);
    dialog.DefaultBtn->click();
    dialog.OKBtn->click();
    EXPECT_EQ(commPort, 2);
    EXPECT_EQ(PortDevice(4), "/dev/serial/by-id/usb-FTDI-if00");
    EXPECT_EQ(PortDevice(2), "/dev/ttyS1");
}

TEST(SetCommDlg, ADeviceWithoutAByIdLinkIsAssignedByItsNode) {
    PortTableGuard guard;
    int32_t commPort = 1;
    SerialDeviceInfo builtIn;
    builtIn.Device = "/dev/ttyS4";
    builtIn.Description = "16550A serial port at I/O 0x2E8, driver serial";
    TSetCommDlg dialog(commPort, {builtIn, usbAdapter("/dev/serial/by-id/usb-FTDI-if00")});
    ASSERT_EQ(dialog.dlgDevices->topLevelItemCount(), 2);
    EXPECT_EQ(dialog.dlgDevices->topLevelItem(0)->text(2), "");
    EXPECT_EQ(dialog.dlgDevices->topLevelItem(0)->toolTip(0), "/dev/ttyS4");
    emit dialog.dlgCommPort->activated(1);
    dialog.assignDevice(0);
    EXPECT_EQ(dialog.assignments().at(2), "/dev/ttyS4");
    // Only a USB adapter is ever proposed for COM1.
    TSetCommDlg builtInOnly(commPort, {builtIn});
    EXPECT_FALSE(builtInOnly.proposeSingleUsbAdapter());
}

TEST(SetCommDlg, OneUsbAdapterIsProposedForCom1TwoAreNot) {
    PortTableGuard guard;
    int32_t commPort = 1;
    TSetCommDlg one(commPort, {usbAdapter("/dev/serial/by-id/a")});
    EXPECT_TRUE(one.proposeSingleUsbAdapter());
    EXPECT_EQ(one.selectedIndex(), 0);
    EXPECT_EQ(one.assignments().at(1), "/dev/serial/by-id/a");
    TSetCommDlg two(commPort, {usbAdapter("/dev/serial/by-id/a"), usbAdapter("/dev/serial/by-id/b")});
    EXPECT_FALSE(two.proposeSingleUsbAdapter());
    EXPECT_TRUE(two.assignments().empty());
}

class CommPortCommandTest : public ::testing::Test, public testing::FrameFixture {};

TEST_F(CommPortCommandTest, OkReconnectsStoresTheAssignmentAndReportsAFailure) {
    PortTableGuard guard;
    test::PtyPair pty;
    ASSERT_FALSE(pty.path.empty());
    options.FindDevices = [&] {
        SerialDeviceInfo d = usbAdapter(pty.path);
        return std::vector<SerialDeviceInfo>{d};
    };
    writeSettings(1);
    open(false);

    answerNextModal<TSetCommDlg>([](TSetCommDlg* d) {
        emit d->dlgCommPort->activated(2);
        d->dlgDevices->setCurrentItem(d->dlgDevices->topLevelItem(0));
        d->AssignBtn->click();
        d->OKBtn->click();
    });
    frame->SetCommPortAction->trigger();
    EXPECT_EQ(frame->CommPort, 3);
    ASSERT_TRUE(acq().comms()->IsOpen());
    EXPECT_EQ(acq().comms()->DevicePath(), pty.path);
    EXPECT_EQ(PortOverride(*OpenSettings(), 3), pty.path); // where quillmar-cli finds it
    QPlainTextEdit* log = frame->CommsForm()->dlgErrorLog;
    EXPECT_EQ(log->document()->lastBlock().text().toStdString(), "Connected to COM3 (" + pty.path + ")");

    SetPortDevice(20, "/nonexistent/ttyUSB7");
    answerNextModal<TSetCommDlg>([](TSetCommDlg* d) {
        emit d->dlgCommPort->activated(19);
        d->OKBtn->click();
    });
    frame->SetCommPortAction->trigger();
    EXPECT_FALSE(acq().comms()->IsOpen());
    const QString line = log->document()->lastBlock().text();
    EXPECT_TRUE(line.startsWith("Cannot open COM20 (/nonexistent/ttyUSB7)")) << line.toStdString();
    EXPECT_TRUE(line.contains("Set comm port")) << line.toStdString();
    // The error log is behind the graph panel while idle: the status bar says it too.
    EXPECT_EQ(frame->StatusText(), line);
    // Cut short beside the port and state labels rather than running under them.
    QStatusBar* bar = frame->statusBar();
    EXPECT_LT(bar->fontMetrics().horizontalAdvance(bar->currentMessage()), bar->width());
    frame.reset();
    EXPECT_EQ(ReadInt32(*OpenSettings(), "Port"), 20);

    // At the next start the port still fails: said in the status bar at once.
    open(false);
    EXPECT_TRUE(frame->StatusText().startsWith("Cannot open COM20")) << frame->StatusText().toStdString();
}

TEST(SetCommDlg, ThePortInUseIsShownAsItIsAndANameSelectsItsEntry) {
    PortTableGuard guard;
    int32_t commPort = 1;
    TSetCommDlg dialog(commPort, {});
    dialog.showPortInUse("COM4");
    EXPECT_EQ(dialog.selectedIndex(), 3);
    EXPECT_EQ(dialog.dlgCommPort->currentText(), "COM4");
    EXPECT_FALSE(dialog.keepsPortInUse());

    dialog.showPortInUse("/dev/ttyUSB0");
    EXPECT_EQ(dialog.selectedIndex(), -1);
    EXPECT_EQ(dialog.dlgCommPort->currentText(), "/dev/ttyUSB0");
    EXPECT_TRUE(dialog.DeviceLabel->text().startsWith("In use: /dev/ttyUSB0"))
        << dialog.DeviceLabel->text().toStdString();
    EXPECT_TRUE(dialog.keepsPortInUse());
    emit dialog.dlgCommPort->activated(1);
    EXPECT_FALSE(dialog.keepsPortInUse());
    dialog.OKBtn->click();
    EXPECT_EQ(commPort, 2);
}

TEST_F(CommPortCommandTest, ARunStartedOnADevicePathShowsItAndOkKeepsIt) {
    PortTableGuard guard;
    test::PtyPair pty;
    ASSERT_FALSE(pty.path.empty());
    writeSettings(1);
    options.App.Port = pty.path;
    open(false);
    ASSERT_TRUE(acq().comms() && acq().comms()->IsOpen());
    EXPECT_EQ(acq().comms()->DevicePath(), pty.path);
    const TALDLComms* link = acq().comms();

    QString shown;
    answerNextModal<TSetCommDlg>([&](TSetCommDlg* d) {
        shown = d->dlgCommPort->currentText();
        d->OKBtn->click();
    });
    frame->SetCommPortAction->trigger();
    EXPECT_EQ(shown.toStdString(), pty.path);
    // Still the same open link on the same device.
    EXPECT_EQ(acq().comms(), link);
    ASSERT_TRUE(acq().comms()->IsOpen());
    EXPECT_EQ(acq().comms()->DevicePath(), pty.path);
    EXPECT_EQ(frame->CommPort, 1);

    // A name chosen from the list moves the program to it.
    SetPortDevice(3, "/nonexistent/ttyUSB3");
    answerNextModal<TSetCommDlg>([](TSetCommDlg* d) {
        emit d->dlgCommPort->activated(2);
        d->OKBtn->click();
    });
    frame->SetCommPortAction->trigger();
    EXPECT_EQ(frame->CommPort, 3);
    EXPECT_FALSE(acq().comms() && acq().comms()->IsOpen());
    // And the dialog then shows that name.
    answerNextModal<TSetCommDlg>([&](TSetCommDlg* d) {
        shown = d->dlgCommPort->currentText();
        d->CancelBtn->click();
    });
    frame->SetCommPortAction->trigger();
    EXPECT_EQ(shown, "COM3");
}

TEST(QtMessenger, AskShowsAModalBoxWithCaptionTextAndButtons) {
    QWidget parent;
    QtMessenger messenger(&parent);
    Messenger* previous = setMessenger(&messenger);
    QString title, text;
    bool modal = false;
    answerNextModal<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        modal = box->parentWidget() == &parent && box->isModal();
        EXPECT_NE(box->button(QMessageBox::Yes), nullptr);
        EXPECT_NE(box->button(QMessageBox::No), nullptr);
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(askYesNo("Query", "Overlay data?"));
    EXPECT_EQ(title, "Query");
    EXPECT_EQ(text, "Overlay data?");
    EXPECT_TRUE(modal);

    answerNextModal<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_NE(box->button(QMessageBox::Ok), nullptr);
        EXPECT_EQ(box->button(QMessageBox::No), nullptr);
        box->button(QMessageBox::Ok)->click();
    });
    showMessage("Aborting", "Five consecutive mode 2 command failures");
    EXPECT_EQ(title, "Aborting");
    setMessenger(previous);
}

TEST(QtMessenger, EnterGivesTheQuestionsDefaultAnswer) {
    QWidget parent;
    QtMessenger messenger(&parent);
    Messenger* previous = setMessenger(&messenger);
    // Yes unless the question says otherwise; No where Yes loses something.
    for (const Answer byDefault : {Answer::Yes, Answer::No}) {
        QMessageBox::StandardButton chosen = QMessageBox::NoButton;
        answerNextModal<QMessageBox>([&](QMessageBox* box) {
            chosen = box->standardButton(box->defaultButton());
            QTest::keyClick(box, Qt::Key_Return);
        });
        const bool yes = byDefault == Answer::Yes ? askYesNo("Query", "Overlay data?")
                                                  : askYesNo("Query", "Delete the journal?", Answer::No);
        EXPECT_EQ(chosen, byDefault == Answer::Yes ? QMessageBox::Yes : QMessageBox::No);
        EXPECT_EQ(yes, byDefault == Answer::Yes);
    }
    setMessenger(previous);
}

TEST(AppOptions, TheCommandLine) {
    AppOptions o = ParseAppOptions({"--demo", "--replay", "drive.ecu", "--ini=p.ini", "a.ecu", "b.ecu"});
    EXPECT_TRUE(o.Error.empty()) << o.Error;
    EXPECT_TRUE(o.Demo);
    EXPECT_EQ(o.ReplayPath, "drive.ecu");
    EXPECT_EQ(o.IniPath, "p.ini");
    EXPECT_EQ(o.Files, std::vector<std::string>({"a.ecu", "b.ecu"}));
    EXPECT_TRUE(o.KeepSettings());

    o = ParseAppOptions({"--port", "com3"});
    EXPECT_TRUE(o.Error.empty());
    EXPECT_EQ(o.Port, "com3");
    EXPECT_TRUE(o.KeepSettings());
    EXPECT_FALSE(ParseAppOptions({"run.ecu"}).KeepSettings());
    EXPECT_TRUE(ParseAppOptions({"--help"}).Help);
    EXPECT_TRUE(ParseAppOptions({"--version"}).Version);
    EXPECT_EQ(ParseAppOptions({"--", "--demo"}).Files, std::vector<std::string>{"--demo"});

    EXPECT_EQ(ParseAppOptions({"--port", "LPT1"}).Error,
              "'LPT1' is not a port: give COM1..COM20 or a device path");
    EXPECT_EQ(ParseAppOptions({"--port"}).Error, "--port needs a value");
    EXPECT_EQ(ParseAppOptions({"--replay", "x.ecu"}).Error, "--replay works with --demo only");
    EXPECT_FALSE(ParseAppOptions({"--demo", "--port", "COM1"}).Error.empty());
    EXPECT_EQ(ParseAppOptions({"--bogus"}).Error, "unknown option '--bogus'");
    EXPECT_NE(AppHelpText().find("--replay FILE"), std::string::npos);
}

} // namespace
} // namespace quillmar
