#pragma once
// Getting recordings back from the journals a crash, a kill or a power loss
// left behind (store/Journal.h): which journals there are, one journal as a
// dataset, and the question the desktop program asks at start-up.

#include "store/Journal.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillmar {

// One journal found in the state folder.
struct JournalInfo {
    std::string Path;
    double StartTime = 0; // days since 1899-12-30
    uint32_t Rows = 0;    // whole rows it holds
    uint32_t Dropped = 0; // records cut off or damaged
    std::string Problem;  // why it cannot be read; empty when it can
};

// The journals in folder that no live process holds, oldest first (a
// journal whose header cannot be read comes with its Problem). inUse, when
// given, receives the number of journals that live recordings hold.
std::vector<JournalInfo> ListJournals(const std::string& folder = DefaultJournalFolder(),
                                      size_t* inUse = nullptr);

// A date-time of the acquisition clock (days since 1899-12-30) as local
// time, "2026-12-08 10:46:39".
std::string DateTimeText(double days);

struct RecoveredJournal {
    TALDLLog* Dataset = nullptr; // in the collection; nullptr when there were no rows
    uint32_t Rows = 0;
    uint32_t Dropped = 0;
    double StartTime = 0;
    // The journal's table differs from the one in force, so the dataset uses
    // the journal's own (the one its rows were recorded with).
    bool OwnTable = false;
};

// Turns the journal at path into a new dataset of collection, as the end of
// a recording leaves it: its rows and bookmarks, derived channels computed, selected, not
// saved (so the unsaved-data question protects it). The dataset holds the
// journal (locked) until its rows are saved, which removes it, or knowingly
// thrown away. tableInForce is shared when the journal was recorded with the
// same table; otherwise the journal's own table is used. A journal without a
// whole row makes no dataset and is removed. Throws FileError when the
// journal is held by a live process, cannot be read or is not a journal.
RecoveredJournal RecoverJournal(TLogCollection& collection, const std::string& path,
                                std::shared_ptr<const TParameterArray> tableInForce = nullptr);

// The start-up question, for each journal found (through the messenger, a
// Yes/No "Query" box naming its start time and row count): Yes recovers it
// into a dataset of collection; No asks whether to delete it (Yes deletes
// it; No, the default, keeps it for the next start). Journals without a
// whole row are deleted without asking. Those that cannot be read are named
// first, each with the reason, in one "Warning", and left alone. The
// datasets recovered, in order; a recovery that failed is shown ("Error").
std::vector<TALDLLog*> OfferJournals(TLogCollection& collection,
                                     std::shared_ptr<const TParameterArray> tableInForce,
                                     const std::string& folder = DefaultJournalFolder());

} // namespace quillmar
