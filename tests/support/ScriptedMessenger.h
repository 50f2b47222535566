#pragma once
// The messenger of the tests: installed for its lifetime, it records every
// box that would have been shown (caption, text, buttons, default answer)
// and answers Yes/No questions from a script, No once the script is done.
// No Qt: the core tests use it as the window tests do.

#include "store/base/Messages.h"

#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace quillmar::testing {

class ScriptedMessenger : public Messenger {
public:
    ScriptedMessenger() { previous_ = setMessenger(this); }
    ~ScriptedMessenger() override { setMessenger(previous_); }
    ScriptedMessenger(const ScriptedMessenger&) = delete;
    ScriptedMessenger& operator=(const ScriptedMessenger&) = delete;

    Answer ask(const std::string& caption, const std::string& text, Buttons buttons) override {
        return answer(caption, text, buttons, buttons == Buttons::Ok ? Answer::Ok : Answer::Yes);
    }
    Answer askWithDefault(const std::string& caption, const std::string& text, Answer byDefault) override {
        return answer(caption, text, Buttons::YesNo, byDefault);
    }

    // The answers to the Yes/No questions to come, in order (true: Yes).
    std::deque<bool> answers;

    // Every box shown: caption and text; its buttons; the answer Enter gives
    // (Ok for an OK box).
    std::vector<std::pair<std::string, std::string>> shown;
    std::vector<Buttons> buttons;
    std::vector<Answer> defaults;

    // Every box shown as "caption|text".
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const auto& [c, t] : shown)
            out.push_back(c + "|" + t);
        return out;
    }
    // The texts shown with this caption.
    std::vector<std::string> texts(const std::string& caption) const {
        std::vector<std::string> out;
        for (const auto& [c, t] : shown)
            if (c == caption) out.push_back(t);
        return out;
    }
    void clear() {
        shown.clear();
        buttons.clear();
        defaults.clear();
    }

private:
    Answer answer(const std::string& caption, const std::string& text, Buttons kind, Answer byDefault) {
        shown.emplace_back(caption, text);
        buttons.push_back(kind);
        defaults.push_back(byDefault);
        if (kind == Buttons::Ok) return Answer::Ok;
        if (answers.empty()) return Answer::No;
        const bool yes = answers.front();
        answers.pop_front();
        return yes ? Answer::Yes : Answer::No;
    }

    Messenger* previous_ = nullptr;
};

} // namespace quillmar::testing
