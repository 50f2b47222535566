// The status bar: messages, the port and state labels and the PROM dump's
// progress.
#include "app/main/MainForm.h"

#include "acquisition/ConnectAdvice.h"
#include "acquisition/window/CommsForm.h"
#include "link/PortTable.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace quillmar {

void TMainForm::buildStatusBar() {
    QStatusBar* bar = statusBar();
    // The whole text of a message cut short stays the tool tip only while it shows.
    connect(bar, &QStatusBar::messageChanged, this, [this, bar](const QString& message) {
        if (message != shownStatus_) bar->setToolTip(QString());
    });
    DemoLabel = new QLabel(bar);
    DemoLabel->setObjectName("DemoLabel");
    DemoLabel->setStyleSheet("QLabel { background: #fff3c4; color: #5d4200; padding: 0 6px; }");
    DemoLabel->hide();
    bar->addPermanentWidget(DemoLabel);

    PromProgress = new QWidget(bar);
    PromProgress->setObjectName("PromProgress");
    auto* row = new QHBoxLayout(PromProgress);
    row->setContentsMargins(0, 0, 0, 0);
    PromAddressLabel = new QLabel(PromProgress);
    PromAddressLabel->setMinimumWidth(PromAddressLabel->fontMetrics().horizontalAdvance("Reading $FFFF") + 8);
    PromProgressBar = new QProgressBar(PromProgress);
    PromProgressBar->setRange(0, 0x8000);
    PromProgressBar->setFormat("%v of 32768 bytes");
    PromProgressBar->setMinimumWidth(160);
    PromCancelBtn = new QPushButton("Cancel", PromProgress);
    PromCancelBtn->setObjectName("PromCancelBtn");
    // Escape cancels too, while the button shows (during a dump).
    PromCancelBtn->setShortcut(QKeySequence(Qt::Key_Escape));
    row->addWidget(PromAddressLabel);
    row->addWidget(PromProgressBar);
    row->addWidget(PromCancelBtn);
    PromProgress->hide();
    bar->addWidget(PromProgress, 1);
    connect(PromCancelBtn, &QPushButton::clicked, this, [this] {
        if (commsForm_) commsForm_->acquisition().cancelPromDump();
    });

    NoAnswerLabel = new QLabel(QLatin1String(NoAnswerText), bar);
    NoAnswerLabel->setObjectName("NoAnswerLabel");
    NoAnswerLabel->setStyleSheet(
        "QLabel { background: #ffb300; color: #3e2100; font-weight: bold; padding: 0 6px; }");
    NoAnswerLabel->setToolTip(QString::fromStdString(NoAnswerAdvice(AdviceFor::Window)));
    NoAnswerLabel->hide();
    bar->addPermanentWidget(NoAnswerLabel);

    PortLabel = new QLabel(bar);
    PortLabel->setObjectName("PortLabel");
    bar->addPermanentWidget(PortLabel);
    StateLabel = new QLabel("Idle", bar);
    StateLabel->setObjectName("StateLabel");
    StateLabel->setMinimumWidth(StateLabel->fontMetrics().horizontalAdvance("Logging: 0000000 rows") + 8);
    bar->addPermanentWidget(StateLabel);
}

void TMainForm::promDumpEnded(PromDumpResult result) {
    if (result == PromDumpResult::Written)
        showStatus("PROM image written to " + promFile_, 10000);
    else if (result == PromDumpResult::Cancelled)
        showStatus("PROM dump cancelled; no file written", 10000);
    if (closeAfterDump_) QTimer::singleShot(0, this, &QWidget::close);
}

// ---- state -------------------------------------------------------------------------

void TMainForm::showStatus(const QString& text, int timeout) {
    // The message shares the bar with the port and state labels: a long one
    // is cut short with an ellipsis, and the whole text is the bar's tool tip.
    QStatusBar* bar = statusBar();
    int room = bar->width() - 24;
    for (QLabel* label : {DemoLabel, NoAnswerLabel, PortLabel, StateLabel})
        if (label && label->isVisible()) room -= label->sizeHint().width() + 8;
    const QString shown = bar->fontMetrics().elidedText(text, Qt::ElideRight, std::max(room, 80));
    shownStatus_ = shown;
    bar->setToolTip(shown == text ? QString() : text);
    bar->showMessage(shown, timeout);
}

QString TMainForm::StatusText() const {
    const QStatusBar* bar = statusBar();
    if (bar->currentMessage().isEmpty()) return QString();
    return bar->toolTip().isEmpty() ? bar->currentMessage() : bar->toolTip();
}

void TMainForm::updatePortLabel() {
    if (demoEngine_) {
        DemoLabel->setText(options_.App.ReplayPath.empty()
                               ? "Demo: the data are simulated"
                               : QString("Demo: the data are simulated (replaying %1)")
                                     .arg(QString::fromStdString(FileNameOnly(options_.App.ReplayPath))));
        DemoLabel->show();
        PortLabel->setText(QString::fromStdString("Port " + demoEngine_->DevicePath() + " (simulated)"));
        return;
    }
    DemoLabel->setVisible(Mode());
    if (Mode()) DemoLabel->setText("Test mode: the data are pseudo-random");
    const std::string port = currentPort();
    const auto device = ResolvePort(port);
    PortLabel->setText(
        QString::fromStdString(device && *device != port ? port + " (" + *device + ")" : port));
}

void TMainForm::acquisitionStateChanged() {
    if (!commsForm_) return;
    // A dump shows its progress beside the label; a device being waited for
    // says so in the message; an engine computer that says nothing, in a
    // label of its own.
    const Acquisition& acq = commsForm_->acquisition();
    if (acq.logging())
        StateLabel->setText(QString("Logging: %1 rows").arg(acq.rowCounter()));
    else if (acq.talking())
        StateLabel->setText("Talking");
    else
        StateLabel->setText("Idle");
    NoAnswerLabel->setVisible(acq.state() == AcquisitionState::NoAnswer);
    updateCommands();
}

void TMainForm::promDumpRunning(bool running) {
    PromProgress->setVisible(running);
    PortLabel->setVisible(!running); // room for the progress
    if (running) {
        PromAddressLabel->setText("Reading $8000");
        PromProgressBar->setValue(0);
    }
    updateCommands();
}

void TMainForm::promDumpProgress(quint32 nextAddress, qulonglong bytesRead) {
    const quint32 address = std::min<quint32>(nextAddress, 0xFFFF);
    PromAddressLabel->setText("Reading $" + QString::number(address, 16).toUpper());
    PromProgressBar->setValue(int(std::min<qulonglong>(bytesRead, 0x8000)));
}

} // namespace quillmar
