#include "store/base/Messages.h"

namespace quillmar {

namespace {
class SilentMessenger final : public Messenger {
public:
    Answer ask(const std::string&, const std::string&, Buttons buttons) override {
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
};

SilentMessenger silent;
Messenger* current = &silent;
} // namespace

Messenger& messenger() {
    return *current;
}

Messenger* setMessenger(Messenger* m) {
    Messenger* previous = current == &silent ? nullptr : current;
    current = m ? m : &silent;
    return previous;
}

} // namespace quillmar
