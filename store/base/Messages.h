#pragma once
// The one way core code asks the user something or tells them of a failure.
//
// Where the program shows a modal message box, the core calls ask() with the
// caption, the text and the buttons. The desktop app shows a modal box, the
// command line prints to stderr, and tests answer from a script. Core code
// never prints and never opens a window itself.

#include "store/base/Error.h"

#include <string>

namespace quillmar {

enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

class Messenger {
public:
    virtual ~Messenger() = default;
    // An OK box, or a Yes/No box whose default button (the one Enter
    // presses) is Yes.
    virtual Answer ask(const std::string& caption, const std::string& text, Buttons buttons) = 0;
    // A Yes/No box whose default button is byDefault (Yes or No). A messenger
    // that shows no default button asks as ask() does.
    virtual Answer askWithDefault(const std::string& caption, const std::string& text, Answer byDefault) {
        (void)byDefault;
        return ask(caption, text, Buttons::YesNo);
    }
    // Tells of a failure or a warning: an OK box captioned after its severity
    // ("Warning", "Error") with FormatError's text, as showMessage would.
    virtual void report(const Error& error) {
        ask(SeverityCaption(error.severity), FormatError(error), Buttons::Ok);
    }
};

// The process-wide messenger. Until a front end installs one, questions are
// answered silently: Ok for an OK box, No for a Yes/No box.
Messenger& messenger();

// Installs m (not owned; it must outlive its use) and returns the previous one.
// Passing nullptr restores the silent default.
Messenger* setMessenger(Messenger* m);

// Short forms for the boxes the program shows.
inline void showMessage(const std::string& caption, const std::string& text) {
    messenger().ask(caption, text, Buttons::Ok);
}
inline void report(const Error& error) {
    messenger().report(error);
}
// byDefault is the answer Enter gives: No for a question whose Yes loses
// something for good.
inline bool askYesNo(const std::string& caption, const std::string& text, Answer byDefault = Answer::Yes) {
    return messenger().askWithDefault(caption, text, byDefault) == Answer::Yes;
}

} // namespace quillmar
