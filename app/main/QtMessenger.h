#pragma once
// The core's messages as modal message boxes: the caption as the title, the
// text, and OK or Yes and No (Yes the default unless the question says No),
// parented to the frame window.

#include "store/base/Messages.h"

#include <QPointer>
#include <QWidget>

class QMessageBox;

namespace quillmar {

class QtMessenger : public Messenger {
public:
    explicit QtMessenger(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    Answer ask(const std::string& caption, const std::string& text, Buttons buttons) override;
    Answer askWithDefault(const std::string& caption, const std::string& text, Answer byDefault) override;

private:
    Answer show(const std::string& caption, const std::string& text, Buttons buttons, Answer byDefault);

    QPointer<QWidget> parent_;
};

// The box ask() shows, not yet shown; for tests and for ask() itself. A
// Yes/No box's default button is byDefault.
QMessageBox* MakeMessageBox(QWidget* parent, const std::string& caption, const std::string& text,
                            Buttons buttons, Answer byDefault = Answer::Yes);

} // namespace quillmar
