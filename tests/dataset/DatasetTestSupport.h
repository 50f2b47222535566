#pragma once
// Building logged rows, scripted answers to questions, and the literal
// step-by-step derivation that the linear one must match.

#include "store/base/Messages.h"
#include "store/dataset/ALDLLog.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillmar::testing {

// The values of one logged row in engineering units of the built-in table
// (raw bytes where the table's factor cannot hit a value exactly).
struct RowSpec {
    double time = 0;
    uint8_t speed = 0;       // mph, data byte 17
    uint8_t engineSpeed = 0; // raw, x 25 rpm, data byte 11
    uint16_t injector = 0;   // raw, data bytes 27 (high) and 28
    uint8_t map = 0;         // raw, data byte 24
    uint8_t barometer = 0;   // raw, data byte 23
};

std::shared_ptr<const TParameterArray> builtInTable();
// The built-in table with one entry changed by name (factor) or removed.
std::shared_ptr<const TParameterArray> tableWithFactor(const std::string& name, double factor);
std::shared_ptr<const TParameterArray> tableWithout(const std::string& name);

// Appends rows to log.
void appendRows(TALDLLog& log, const std::vector<RowSpec>& rows);
std::unique_ptr<TALDLLog> makeLog(const std::vector<RowSpec>& rows,
                                  std::shared_ptr<const TParameterArray> table = builtInTable());

// A plausible drive: stops, gear changes with the clutch in between, a few
// repeated time stamps; 0.1 s steps.
std::vector<RowSpec> syntheticDrive(uint32_t rows, uint32_t seed = 1);

// Records every question, with its default answer, and answers from a
// script (then as the command line does: Ok, or No).
struct ScriptedMessenger : Messenger {
    struct Seen {
        std::string caption, text;
        Buttons buttons;
        Answer byDefault; // Ok for an OK box
    };
    std::vector<Seen> seen;
    std::deque<Answer> script;
    Answer ask(const std::string& caption, const std::string& text, Buttons buttons) override {
        return answer({caption, text, buttons, buttons == Buttons::Ok ? Answer::Ok : Answer::Yes});
    }
    Answer askWithDefault(const std::string& caption, const std::string& text, Answer byDefault) override {
        return answer({caption, text, Buttons::YesNo, byDefault});
    }
    Answer answer(Seen question) {
        seen.push_back(std::move(question));
        if (!script.empty()) {
            Answer a = script.front();
            script.pop_front();
            return a;
        }
        return seen.back().buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const auto& s : seen)
            t.push_back(s.caption + "|" + s.text);
        return t;
    }
};

// Installs a messenger for a scope.
struct MessengerScope {
    ScriptedMessenger m;
    Messenger* previous;
    MessengerScope() : previous(setMessenger(&m)) {}
    ~MessengerScope() { setMessenger(previous); }
};

// A fresh folder removed at the end of the scope.
struct TempDir {
    std::filesystem::path path;
    TempDir();
    ~TempDir();
    std::string file(const std::string& name) const { return (path / name).string(); }
};

} // namespace quillmar::testing
