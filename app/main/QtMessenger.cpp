#include "app/main/QtMessenger.h"

#include <QMessageBox>

#include <QPointer>

namespace quillmar {

QMessageBox* MakeMessageBox(QWidget* parent, const std::string& caption, const std::string& text,
                            Buttons buttons, Answer byDefault) {
    const QString title = QString::fromStdString(caption);
    QMessageBox::Icon icon = QMessageBox::Information;
    if (title.compare("Error", Qt::CaseInsensitive) == 0 || title == "Aborting")
        icon = QMessageBox::Critical;
    else if (title == "Warning")
        icon = QMessageBox::Warning;
    else if (title == "Query")
        icon = QMessageBox::Question;
    auto* box = new QMessageBox(icon, title, QString::fromStdString(text),
                                buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No
                                                          : QMessageBox::StandardButtons(QMessageBox::Ok),
                                parent);
    box->setObjectName("MessageBox");
    box->setWindowModality(Qt::ApplicationModal);
    if (buttons == Buttons::Ok)
        box->setDefaultButton(QMessageBox::Ok);
    else
        box->setDefaultButton(byDefault == Answer::No ? QMessageBox::No : QMessageBox::Yes);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return box;
}

Answer QtMessenger::ask(const std::string& caption, const std::string& text, Buttons buttons) {
    return show(caption, text, buttons, buttons == Buttons::Ok ? Answer::Ok : Answer::Yes);
}

Answer QtMessenger::askWithDefault(const std::string& caption, const std::string& text, Answer byDefault) {
    return show(caption, text, Buttons::YesNo, byDefault);
}

Answer QtMessenger::show(const std::string& caption, const std::string& text, Buttons buttons,
                         Answer byDefault) {
    // Guarded: the parent may go while the box runs its own event loop.
    QPointer<QMessageBox> box = MakeMessageBox(parent_.data(), caption, text, buttons, byDefault);
    const int result = box->exec();
    delete box.data();
    if (buttons == Buttons::Ok) return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

} // namespace quillmar
