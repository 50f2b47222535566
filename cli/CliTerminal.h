#pragma once
// The live table of quillmar-cli watch on a terminal: redrawn in place, like
// top. While a LiveScreen lives on a terminal, the terminal shows its
// alternate screen with the cursor hidden, and every frame is drawn from the
// top left corner, laid out in as many columns as the width allows and cut to
// the height. The destructor gives the terminal back as it was; watch ends on
// Ctrl-C, SIGTERM and SIGHUP through its event loop, so that runs then too.
// On anything but a terminal (a pipe, a file) every frame is written as it is,
// one after the other.
//
// Error-log lines would be wiped by the next frame when standard error is the
// same screen: note() keeps the newest of them under the table instead, and
// they are written to standard error once the terminal is given back.

#include <cstdio>
#include <string>
#include <vector>

namespace quillmar {

// The sequences a LiveScreen writes (VT100 / xterm).
namespace TerminalCodes {
inline constexpr const char* Enter = "\x1b[?1049h\x1b[?25l"; // alternate screen, cursor hidden
inline constexpr const char* Leave = "\x1b[?25h\x1b[?1049l"; // cursor shown, normal screen back
inline constexpr const char* Home = "\x1b[H";
inline constexpr const char* ClearLineEnd = "\x1b[K";
inline constexpr const char* ClearScreenEnd = "\x1b[J";
} // namespace TerminalCodes

// The lines of a frame for a terminal of width x height characters: the title
// first, then the table's lines in columns (top to bottom, then left to right)
// as wide as its widest line plus two spaces, but no wider than MaxColumnWidth
// (longer lines are cut there, but in the last column), cut to the height
// with a last line saying how many lines did not fit. Widths count
// characters, not bytes.
inline constexpr size_t MaxColumnWidth = 48;
std::vector<std::string> LayOutFrame(const std::string& title, const std::vector<std::string>& lines,
                                     int width, int height);

class LiveScreen {
public:
    // Redraws in place when out is a terminal and TERM is not "dumb".
    LiveScreen(std::FILE* out, std::string title);
    ~LiveScreen();
    LiveScreen(const LiveScreen&) = delete;
    LiveScreen& operator=(const LiveScreen&) = delete;

    bool inPlace() const { return inPlace_; }
    // One frame: text is lines ending in '\n'.
    void show(const std::string& text);
    // An error-log line: under the table while redrawing in place (when
    // standard error is a terminal too), else straight to standard error.
    void note(const std::string& line);

    static constexpr size_t NotesKept = 5;

private:
    void write(const std::string& bytes);

    std::FILE* out_;
    std::string title_;
    bool inPlace_ = false;
    bool notesOnScreen_ = false;
    std::vector<std::string> notes_;
};

} // namespace quillmar
