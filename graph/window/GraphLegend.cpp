#include "graph/window/GraphLegend.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillmar {

TGraphLegend::TGraphLegend(QWidget* owner)
    : QDialog(owner,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint) {
    setObjectName("GraphLegend");
    setWindowTitle("Legend");
    SetDefaultFont(Font);
    dlgEnabled = new QCheckBox("Enabled", this);
    dlgEnabled->setObjectName("dlgEnabled");
    auto* position = new QGroupBox("Position", this);
    dlgBottom = new QRadioButton("Bottom", position);
    dlgBottom->setObjectName("dlgBottom");
    dlgBottom->setChecked(true);
    dlgRight = new QRadioButton("Right", position);
    dlgRight->setObjectName("dlgRight");
    auto* positionLayout = new QVBoxLayout(position);
    positionLayout->addWidget(dlgBottom);
    positionLayout->addWidget(dlgRight);
    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton("Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    FontButton = new QPushButton("Font", this);
    FontButton->setObjectName("FontButton");
    FontButton->hide();
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dlgEnabled);
    layout->addWidget(position);
    layout->addWidget(FontButton);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace quillmar
