#include "store/dataset/JournalRecovery.h"

#include "store/base/Messages.h"

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

namespace quillmar {

namespace {

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool sameEntry(const TParameter& a, const TParameter& b) {
    return a.Name == b.Name && a.Position == b.Position && a.Size == b.Size && a.Offset == b.Offset &&
           a.Factor == b.Factor && a.FormatAs == b.FormatAs && a.Units == b.Units && a.Signed == b.Signed &&
           a.Flags == b.Flags && a.Icon == b.Icon;
}

bool sameTable(const TParameterArray& a, const TParameterArray& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), sameEntry);
}

std::string rowsText(uint32_t n) {
    return std::to_string(n) + (n == 1 ? " row" : " rows");
}

} // namespace

std::vector<JournalInfo> ListJournals(const std::string& folder, size_t* inUse) {
    if (inUse) *inUse = 0;
    std::vector<JournalInfo> found;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return found;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (endsWith(name, JournalSuffix) && name[0] != '.') names.push_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        JournalInfo info;
        info.Path = folder + "/" + name;
        try {
            bool held = false;
            const JournalContents contents = InspectJournal(info.Path, held);
            if (held) {
                if (inUse) ++*inUse;
                continue;
            }
            info.StartTime = contents.Header.StartTime;
            info.Rows = contents.RowCount;
            info.Dropped = contents.Dropped;
        } catch (const FileError& e) {
            info.Problem = e.what();
        }
        found.push_back(std::move(info));
    }
    std::sort(found.begin(), found.end(), [](const JournalInfo& a, const JournalInfo& b) {
        if (a.StartTime != b.StartTime) return a.StartTime < b.StartTime;
        return a.Path < b.Path;
    });
    return found;
}

std::string DateTimeText(double days) {
    // 25569 days lie between 1899-12-30 and 1970-01-01.
    const long double seconds = (static_cast<long double>(days) - 25569.0L) * 86400.0L;
    if (!std::isfinite(static_cast<double>(seconds)) || std::fabs(static_cast<double>(seconds)) > 1e12)
        return "an unknown time";
    const time_t t = static_cast<time_t>(std::llround(static_cast<double>(seconds)));
    tm local{};
    if (!::localtime_r(&t, &local)) return "an unknown time";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

RecoveredJournal RecoverJournal(TLogCollection& collection, const std::string& path,
                                std::shared_ptr<const TParameterArray> tableInForce) {
    JournalContents contents;
    std::unique_ptr<TJournal> journal = TJournal::Adopt(path, contents);
    RecoveredJournal result;
    result.Rows = contents.RowCount;
    result.Dropped = contents.Dropped;
    result.StartTime = contents.Header.StartTime;
    if (contents.RowCount == 0) {
        journal->Remove();
        return result;
    }

    std::shared_ptr<const TParameterArray> table = tableInForce;
    if (!table || !sameTable(*table, contents.Header.Table)) {
        auto own = std::make_shared<TParameterArray>(std::move(contents.Header.Table));
        FillBitNames(*own);
        table = std::move(own);
        result.OwnTable = tableInForce != nullptr;
    }
    TALDLLog& log = collection.NewDataset(table);
    if (!log.SetRows(contents.RowCount) || log.Rows != contents.RowCount ||
        log.RowBytes() != JournalRowBytes) {
        collection.RemoveDataset(&log); // the journal is not attached yet: it stays
        throw FileError(
            "Not enough memory for the " + rowsText(contents.RowCount) + " of the journal " + path, path);
    }
    std::memcpy(log.RowData(1), contents.Rows.data(), contents.Rows.size());
    contents.Rows = {};
    log.StoreName = "Recovered recording of " + DateTimeText(contents.Header.StartTime);
    log.StartTime = contents.Header.StartTime;
    std::vector<std::string> warnings;
    log.Bookmarks = ReadJournalBookmarks(path, warnings);
    for (std::string& warning : warnings)
        log.AddLoadWarning(std::move(warning));
    log.AttachJournal(std::move(journal));
    collection.FinishRecording(log, result.Rows);
    result.Dataset = &log;
    return result;
}

std::vector<TALDLLog*> OfferJournals(TLogCollection& collection,
                                     std::shared_ptr<const TParameterArray> tableInForce,
                                     const std::string& folder) {
    std::vector<TALDLLog*> recovered;
    const std::vector<JournalInfo> journals = ListJournals(folder);
    // The ones that cannot be read, named once, with the reason; left where
    // they are, so that the user can keep them.
    std::vector<std::string> unreadable;
    for (const JournalInfo& info : journals)
        if (!info.Problem.empty()) unreadable.push_back(info.Problem);
    if (unreadable.size() == 1) {
        showMessage("Warning",
                    "A recording's journal cannot be read:\n- " + unreadable[0] +
                        "\nIt is left as it is, and named again at each start until it is moved or deleted.");
    } else if (unreadable.size() > 1) {
        std::string text = std::to_string(unreadable.size()) + " recordings' journals cannot be read:";
        for (const std::string& problem : unreadable)
            text += "\n- " + problem;
        showMessage("Warning",
                    text + "\nThey are left as they are, and named again at each start until they are "
                           "moved or deleted.");
    }
    for (const JournalInfo& info : journals) {
        if (!info.Problem.empty()) continue;
        if (info.Rows == 0) {
            DeleteJournal(info.Path); // nothing in it to lose
            continue;
        }
        const std::string started = DateTimeText(info.StartTime);
        std::string text =
            "A recording started " + started + " was not saved. Its journal holds " + rowsText(info.Rows);
        if (info.Dropped > 0)
            text += " (" + std::to_string(info.Dropped) + " damaged " + (info.Dropped == 1 ? "row" : "rows") +
                    " could not be read)";
        text += ".\nRecover it?";
        if (askYesNo("Query", text)) {
            try {
                const RecoveredJournal r = RecoverJournal(collection, info.Path, tableInForce);
                if (r.Dataset) recovered.push_back(r.Dataset);
            } catch (const FileError& e) {
                showMessage("Error", e.what());
            }
        } else if (askYesNo("Query",
                            "Delete the journal of the recording started " + started + " (" +
                                rowsText(info.Rows) + ")? No keeps it for the next start.",
                            Answer::No)) {
            DeleteJournal(info.Path);
        }
    }
    return recovered;
}

} // namespace quillmar
