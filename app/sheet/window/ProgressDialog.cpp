#include "app/sheet/window/ProgressDialog.h"

#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

namespace quillmar {

TProgressDialog::TProgressDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("ProgressDialog");
    setWindowTitle("Progress");
    PasteProgressBar = new QProgressBar(this);
    PasteProgressBar->setObjectName("PasteProgressBar");
    PasteProgressBar->setFixedSize(177, 16);
    PasteProgressBar->setRange(0, 100);
    PasteProgressBar->setValue(0);
    PasteProgressBar->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(PasteProgressBar);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TProgressDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->geometry().center());
    move(frame.topLeft());
}

} // namespace quillmar
