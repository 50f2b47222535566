#include "graph/window/InformationDlg.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillmar {

TInformationDlg::TInformationDlg(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("InformationDlg");
    setWindowTitle("Information");
    setModal(false);
    dlgInfoText = new QLabel(this);
    dlgInfoText->setObjectName("dlgInfoText");
    dlgInfoText->setWordWrap(true);
    dlgInfoText->setAlignment(Qt::AlignCenter);
    dlgInfoText->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    dlgInfoText->setAutoFillBackground(true);
    QPalette palette = dlgInfoText->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    dlgInfoText->setPalette(palette);
    dlgInfoText->setMargin(8);
    dlgInfoText->setFixedSize(320, 64);
    dlgAbort = new QPushButton("Abort", this);
    dlgAbort->setObjectName("dlgAbort");
    dlgAbort->setDefault(true);
    connect(dlgAbort, &QPushButton::clicked, this, &TInformationDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dlgInfoText);
    layout->addWidget(dlgAbort, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    dlgAbort->setFocus();
}

void TInformationDlg::setText(const QString& text) {
    dlgInfoText->setText(text);
}

void TInformationDlg::reject() {
    aborted_ = true;
    emit abortClicked();
}

} // namespace quillmar
