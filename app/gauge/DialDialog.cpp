#include "app/gauge/DialDialog.h"

#include "app/gauge/AnalogGauge.h"

#include <QAction>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillmar {

namespace {

// The settings both dials share.
void setUpDial(TA3nalogGauge* dial) {
    QFont font("Arial");
    font.setPixelSize(11);
    dial->setFont(font);
    dial->setFixedSize(305, 305);
    dial->setMinColor(ColorFromBgr(0x008000));
    dial->setMidColor(ColorFromBgr(0x00FFFF));
    dial->setMaxColor(ColorFromBgr(0x0000FF));
    dial->setFaceColor(dial->palette().color(QPalette::Button));
    dial->setTicksColor(Qt::black);
    dial->setValueColor(Qt::black);
    dial->setCaptionColor(Qt::black);
    dial->setArrowColor(Qt::black);
    dial->setMarginColor(Qt::black);
    dial->setCenterColor(ColorFromBgr(0x808080));
    dial->setCircleColor(ColorFromBgr(0xFF0000));
    dial->setAntiAliased(TAntialiased::aaNone);
    dial->setLengthMainTicks(15);
    dial->setLengthSubTicks(8);
    dial->setMargin(10);
    dial->setArrowWidth(2);
    dial->setCenterRadius(4);
    dial->setCircleRadius(1);
    dial->setFaceOptions(TFaceOption::ShowMainTicks | TFaceOption::ShowSubTicks | TFaceOption::ShowValues |
                         TFaceOption::ShowCenter | TFaceOption::Show3D | TFaceOption::ShowCaption);
}

QToolButton* actionButton(QAction* action, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    button->setMinimumWidth(140);
    if (action)
        button->setDefaultAction(action);
    else
        button->setEnabled(false);
    return button;
}

} // namespace

TDialDialog::TDialDialog(QAction* startLogging, QAction* stopLogging, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName("DialDialog");
    setWindowTitle("Dials");

    dlgBoostDial = new TA3nalogGauge(this);
    dlgBoostDial->setObjectName("dlgBoostDial");
    setUpDial(dlgBoostDial);
    dlgBoostDial->setCaption("Absolute manifold pressure (bar)");
    dlgBoostDial->setScale(200);
    dlgBoostDial->setAngle(270);
    dlgBoostDial->setStyle(TStyle::CenterStyle);
    dlgBoostDial->setNumberMainTicks(10);
    dlgBoostDial->setIndMinimum(1);
    dlgBoostDial->setIndMaximum(1);

    dlgRPMDial = new TA3nalogGauge(this);
    dlgRPMDial->setObjectName("dlgRPMDial");
    setUpDial(dlgRPMDial);
    dlgRPMDial->setCaption("RPM");
    dlgRPMDial->setScale(8000);
    dlgRPMDial->setAngle(90);
    dlgRPMDial->setStyle(TStyle::RightStyle);
    dlgRPMDial->setNumberMainTicks(8);
    dlgRPMDial->setIndMinimum(1);
    dlgRPMDial->setIndMaximum(150);

    StartLoggingButton = actionButton(startLogging, this);
    StartLoggingButton->setObjectName("StartLoggingButton");
    StopLoggingButton = actionButton(stopLogging, this);
    StopLoggingButton->setObjectName("StopLoggingButton");

    auto* dials = new QHBoxLayout;
    dials->addWidget(dlgBoostDial);
    dials->addWidget(dlgRPMDial);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(StartLoggingButton);
    buttons->addWidget(StopLoggingButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(dials);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TDialDialog::setPositions(double manifoldPressure, double engineSpeed) {
    dlgBoostDial->setPosition(static_cast<float>(static_cast<long double>(manifoldPressure) * 100));
    dlgRPMDial->setPosition(static_cast<float>(engineSpeed));
}

void TDialDialog::setGaugePositions(float boost, float engineSpeed) {
    dlgBoostDial->setPosition(boost);
    dlgRPMDial->setPosition(engineSpeed);
}

} // namespace quillmar
