#include "cli/CliTerminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace quillmar {

namespace {

// Characters in UTF-8 text: every byte but the continuation bytes.
size_t displayWidth(const std::string& s) {
    return static_cast<size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The first `width` characters of s.
std::string cutToWidth(const std::string& s, size_t width) {
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && chars++ == width) return s.substr(0, i);
    }
    return s;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    // The blank line that ends a table in a pipe is no use on the screen.
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

} // namespace

std::vector<std::string> LayOutFrame(const std::string& title, const std::vector<std::string>& lines,
                                     int width, int height) {
    const size_t w = static_cast<size_t>(std::max(width, 20));
    const size_t h = static_cast<size_t>(std::max(height, 3));
    std::vector<std::string> frame{cutToWidth(title, w)};
    // One line stays free below the frame: the cursor rests there, and a
    // terminal never scrolls when the last line is written.
    const size_t rowsFree = h - 2;

    size_t widest = 0;
    for (const std::string& line : lines)
        widest = std::max(widest, displayWidth(line));
    const size_t columnWidth = std::min(widest, MaxColumnWidth) + 2;
    const size_t columns = std::max<size_t>(1, (w + 2) / columnWidth);
    size_t rows = (lines.size() + columns - 1) / columns;
    size_t shown = lines.size();
    if (rows > rowsFree) {
        rows = rowsFree;
        shown = rows * columns - 1; // the last place says what was left out
    }
    for (size_t r = 0; r < rows; ++r) {
        std::string row;
        for (size_t c = 0; c < columns; ++c) {
            const size_t i = c * rows + r;
            if (i >= shown) break;
            if (c > 0) row.append(columnWidth * c - displayWidth(row), ' ');
            const bool lastColumn = c + 1 == columns || (c + 1) * rows >= shown;
            row += lastColumn ? lines[i] : cutToWidth(lines[i], columnWidth - 2);
        }
        frame.push_back(cutToWidth(row, w));
    }
    if (shown < lines.size()) {
        // In the last row's last column (a row of its own with one column).
        std::string& last = frame.back();
        const size_t at = columnWidth * (columns - 1);
        if (displayWidth(last) < at) last.append(at - displayWidth(last), ' ');
        last =
            cutToWidth(last + "... " + std::to_string(lines.size() - shown) + " more: enlarge the window", w);
    }
    return frame;
}

LiveScreen::LiveScreen(std::FILE* out, std::string title) : out_(out), title_(std::move(title)) {
    const char* term = std::getenv("TERM");
    inPlace_ = ::isatty(::fileno(out_)) == 1 && !(term && std::strcmp(term, "dumb") == 0);
    notesOnScreen_ = inPlace_ && ::isatty(STDERR_FILENO) == 1;
    if (inPlace_) write(TerminalCodes::Enter);
}

LiveScreen::~LiveScreen() {
    if (!inPlace_) return;
    write(TerminalCodes::Leave);
    for (const std::string& line : notes_)
        std::fprintf(stderr, "%s\n", line.c_str());
}

void LiveScreen::note(const std::string& line) {
    if (!notesOnScreen_) {
        std::fprintf(stderr, "%s\n", line.c_str());
        return;
    }
    notes_.push_back(line);
    if (notes_.size() > NotesKept) notes_.erase(notes_.begin());
}

void LiveScreen::show(const std::string& text) {
    if (!inPlace_) {
        write(text);
        return;
    }
    winsize size{};
    int width = 80, height = 24;
    if (::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        width = size.ws_col;
        height = size.ws_row;
    }
    // The title ends in the time of the frame, as top's does.
    char clock[16] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local)) std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    const int noteRows = notes_.empty() ? 0 : static_cast<int>(notes_.size()) + 1;
    std::vector<std::string> frame =
        LayOutFrame(title_ + "  " + clock, splitLines(text), width, std::max(3, height - noteRows));
    if (noteRows > 0 && static_cast<int>(frame.size()) + noteRows < height) {
        frame.emplace_back();
        for (const std::string& line : notes_)
            frame.push_back(cutToWidth(line, static_cast<size_t>(std::max(width, 20))));
    }
    std::string bytes = TerminalCodes::Home;
    for (const std::string& line : frame) {
        bytes += line;
        bytes += TerminalCodes::ClearLineEnd;
        bytes += "\r\n";
    }
    bytes += TerminalCodes::ClearScreenEnd;
    write(bytes);
}

void LiveScreen::write(const std::string& bytes) {
    // A terminal gone away leaves nothing to show; watch ends on the SIGHUP.
    std::fwrite(bytes.data(), 1, bytes.size(), out_);
    std::fflush(out_);
}

} // namespace quillmar
