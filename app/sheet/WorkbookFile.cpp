// Writing a workbook as an .xlsx file: always through a temporary file in the
// target folder, so a half-written workbook never carries the final name.

#include "app/sheet/Spreadsheet.h"

#include "acquisition/params/Parameters.h"
#include "store/base/AtomicFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

namespace quillmar {

namespace {

// Text as a cell may hold it: control characters other than tab and line
// breaks have no place in the file's XML and become U+FFFD.
std::string cellText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r')
            out += "\xEF\xBF\xBD";
        else
            out += c;
    }
    return out;
}

// A temporary file of our own next to the final one, removed unless kept.
class TemporaryWorkbook {
public:
    explicit TemporaryWorkbook(const std::string& finalPath) {
        const std::filesystem::path final(finalPath);
        const std::string folder = final.has_parent_path() ? final.parent_path().string() : std::string(".");
        const std::string base = final.filename().string();
        std::random_device rd;
        std::mt19937 gen(rd());
        for (int attempt = 0; attempt < 100; ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "%06x", static_cast<unsigned>(gen() & 0xFFFFFF));
            const std::string candidate = folder + "/." + base + "." + suffix + ".tmp";
            // Reserve the name; the library then rewrites the file with the
            // permissions this creation gave it (0666 less the umask).
            const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                ::close(fd);
                path_ = candidate;
                return;
            }
            if (errno != EEXIST) break;
        }
        throw SheetError("Cannot create workbook " + finalPath + ": " + std::strerror(errno));
    }
    ~TemporaryWorkbook() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryWorkbook(const TemporaryWorkbook&) = delete;
    TemporaryWorkbook& operator=(const TemporaryWorkbook&) = delete;

    const std::string& path() const { return path_; }
    void release() { path_.clear(); }

private:
    std::string path_;
};

// Writes sheet as an .xlsx file at file; finalPath names it in messages.
void writeXlsx(const TWorksheet& sheet, const std::string& file, const std::string& finalPath) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE; // rows go to disk as they are written
    lxw_workbook* workbook = workbook_new_opt(file.c_str(), &options);
    if (!workbook) throw SheetError("Cannot create workbook " + finalPath + ": out of memory");
    lxw_worksheet* worksheet = workbook_add_worksheet(workbook, nullptr);

    std::string failure;
    if (!worksheet) failure = "Cannot add a worksheet to workbook " + finalPath;
    for (uint32_t r = 1; failure.empty() && r <= sheet.RowCount(); ++r) {
        const auto& cells = sheet.Row(r);
        for (uint32_t c = 1; c <= cells.size(); ++c) {
            const TCell& cell = cells[c - 1];
            lxw_error err = LXW_NO_ERROR;
            if (cell.IsNumber() && std::isfinite(cell.Number())) {
                err = worksheet_write_number(worksheet, r - 1, static_cast<lxw_col_t>(c - 1), cell.Number(),
                                             nullptr);
            } else if (cell.IsNumber()) {
                // NAN and INF are no numbers a workbook can hold: keep them as text.
                err = worksheet_write_string(worksheet, r - 1, static_cast<lxw_col_t>(c - 1),
                                             FormatGeneral(cell.Number()).c_str(), nullptr);
            } else if (cell.IsText() && !cell.Text().empty()) {
                err = worksheet_write_string(worksheet, r - 1, static_cast<lxw_col_t>(c - 1),
                                             cellText(cell.Text()).c_str(), nullptr);
            }
            if (err != LXW_NO_ERROR) {
                failure = "Cannot write cell " + CellName(r, c) + " of workbook " + finalPath + ": " +
                          lxw_strerror(err);
                break;
            }
        }
    }
    // Closing writes the file and frees the workbook in every case.
    errno = 0;
    const lxw_error closed = workbook_close(workbook);
    if (!failure.empty()) throw SheetError(failure);
    if (closed != LXW_NO_ERROR) {
        std::string reason = lxw_strerror(closed);
        if (errno != 0) reason += std::string(" (") + std::strerror(errno) + ")";
        throw SheetError("Cannot write workbook " + finalPath + ": " + reason);
    }
}

// Flushes file to disk.
void syncFile(const std::string& file, const std::string& finalPath) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int e = errno;
        if (fd >= 0) ::close(fd);
        throw SheetError("Cannot write workbook " + finalPath + ": " + std::strerror(e));
    }
    ::close(fd);
}

// Gives temp the name target unless a file of that name exists: false then.
bool renameNoReplace(const std::string& temp, const std::string& target) {
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) return false;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        throw SheetError("Cannot save workbook " + target + ": " + std::strerror(errno));
    // A file system without the no-replace rename: a hard link fails on an existing name too.
    if (::link(temp.c_str(), target.c_str()) == 0) {
        ::unlink(temp.c_str());
        return true;
    }
    if (errno == EEXIST) return false;
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
        throw SheetError("Cannot save workbook " + target + ": " + std::strerror(errno));
    // Neither: look, then rename.
    if (::access(target.c_str(), F_OK) == 0) return false;
    if (::rename(temp.c_str(), target.c_str()) != 0)
        throw SheetError("Cannot save workbook " + target + ": " + std::strerror(errno));
    return true;
}

} // namespace

std::string WorkbookFileStem(const std::string& name) {
    std::string stem;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        stem += (c == '/' || u < 0x20 || u == 0x7F) ? '_' : c;
    }
    const auto first = stem.find_first_not_of(" .");
    stem = first == std::string::npos ? std::string() : stem.substr(first);
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    if (stem.size() > 200) {
        size_t cut = 200;
        // Never split a UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
            --cut;
        stem.resize(cut);
    }
    return stem.empty() ? "Workbook" : stem;
}

void TWorkbook::SaveAs(const std::string& path) const {
    if (path.empty()) throw SheetError("Cannot save a workbook without a file name");
    // A link keeps pointing at the workbook; a device or folder is never replaced.
    std::string target;
    try {
        target = CheckSaveTarget(path);
    } catch (const FileError& e) {
        throw SheetError(e.what());
    }
    TemporaryWorkbook temp(target);
    writeXlsx(sheet_, temp.path(), path);
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) ::chmod(temp.path().c_str(), old.st_mode & 07777);
    syncFile(temp.path(), path);
    if (::rename(temp.path().c_str(), target.c_str()) != 0)
        throw SheetError("Cannot save workbook " + path + ": " + std::strerror(errno));
    temp.release();
}

std::string SaveWorkbookAsNew(const TWorkbook& book, const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw SheetError("Cannot create folder " + folder + ": " + ec.message());
    const std::string stem = folder + "/" + WorkbookFileStem(book.Name());
    TemporaryWorkbook temp(stem + ".xlsx");
    writeXlsx(book.Worksheets(1), temp.path(), stem + ".xlsx");
    syncFile(temp.path(), stem + ".xlsx");
    for (int n = 1; n <= 9999; ++n) {
        const std::string target = stem + (n == 1 ? std::string() : " (" + std::to_string(n) + ")") + ".xlsx";
        if (renameNoReplace(temp.path(), target)) {
            temp.release();
            return target;
        }
    }
    throw SheetError("Cannot save workbook " + stem + ".xlsx: every name up to \" (9999)\" is taken");
}

} // namespace quillmar
