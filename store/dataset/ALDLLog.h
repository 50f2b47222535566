#pragma once
// One logged dataset: a row per accepted mode 1 reply, holding the reply's 63
// raw data bytes and an 8-byte little-endian double time stamp (seconds since
// logging started). Values are decoded on demand with the parameter table the
// dataset shares; nine channels are derived from the rows once they are
// complete (DeriveChannels).

#include "acquisition/params/Parameters.h"
#include "store/Bookmarks.h"
#include "store/Store.h"
#include "store/dataset/VehicleConstants.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillmar {

class TJournal;
class TLogCollection;
class TLogItem;

// Columns of a logged row: the data bytes, then the time stamp.
inline constexpr uint32_t TimeStampColumn = ReplyLength + 1;
inline constexpr uint32_t LogColumns = ReplyLength + 8;

// Positions of the derived channels in TALDLLog::Derived.
enum DerivedChannel : int {
    TimeSlot = 0,
    DistanceSlot = 1,
    AccelerationSlot = 2,
    PowerSlot = 3,
    GearSlot = 4,
    CalcSpeedSlot = 5,
    SmoothedSpeedSlot = 6,
    BoostSlot = 7,
    InjectorDutySlot = 8,
};

// One user channel's values in a dataset (store/analysis/UserChannels.h
// computes them): element r belongs to row r, NAN where the row has no value.
struct UserChannelColumn {
    std::string Name;
    std::string Unit;
    TDoubleArray Values;
};

// What the last derivation chose; for callers that show it and for tests.
struct DeriveInfo {
    int64_t K = 0;               // 1.5 s over the mean time step, truncated
    int StartWindow = 1;         // moving-average window of the gear detection
    int SteadyWindow = 1;        // the same after the first row with a steady gear
    int SmoothWindow = 1;        // window of "Smoothed speed"
    bool SplineUsed = false;     // false with fewer than two distinct time stamps
    uint32_t SplinePoints = 0;   // points the "Calc. speed" spline went through
    uint32_t FirstSteadyRow = 0; // the first row in a steady gear; 0: none
};

// For deriving a stretch of rows out of a longer recording (the trailing
// rows of one still being recorded): what the longer recording has settled.
struct DeriveOptions {
    // The moving-average window the whole recording's time steps give
    // (ChooseWindow); 0: chosen from these rows' own time steps.
    int Window = 0;
    // A row before these was already in a steady gear: the gear detection
    // starts with the steady window.
    bool SteadyFromStart = false;
};

class TALDLLog : public TNumber2DArrayStore {
public:
    // A dataset with no rows sharing the given table. Datasets listed in a
    // collection are made by TLogCollection::NewDataset.
    explicit TALDLLog(std::shared_ptr<const TParameterArray> parameters);
    ~TALDLLog() override;

    TALDLLog(const TALDLLog&) = delete;
    TALDLLog& operator=(const TALDLLog&) = delete;

    // Both size every Derived array to Rows + 1, whatever the inherited
    // operation answered.
    bool Make2D(uint32_t columns, uint32_t rows, uint32_t elementSize) override;
    bool SetRows(uint32_t rows) override;

    // The value of the parameter at position column of ParameterNames in row
    // row; derived entries answer from Derived. 0 outside the table or rows.
    // The columns after the table's entries are the user channels: column
    // Parameters->size() + 1 + c reads UserChannels[c] (NAN where a row has
    // no value, or past its values).
    long double ParameterValue(int column, uint32_t row) const;

    // The dataset's name in the collection's list (its own name when it
    // belongs to no collection).
    std::string DatasetName() const;
    void SetDatasetName(const std::string& name);

    // Fills Derived for every row. Warnings name parameters the table lacks.
    void DeriveChannels(const VehicleConstants& vehicle = DefaultVehicleConstants(),
                        const DeriveOptions& options = {});

    // The 8-byte time stamp of row (1..Rows); 0 outside.
    double TimeStamp(uint32_t row) const;
    // Writes one row: data bytes (ReplyLength of them) and the time stamp.
    void WriteRow(uint32_t row, const uint8_t* data, double time);

    // Messages of the load ("N of M rows loaded") and of the last derivation
    // (missing parameters); the core never prints them.
    std::vector<std::string> Warnings() const;
    const std::vector<std::string>& LoadWarnings() const { return loadWarnings_; }
    const std::vector<std::string>& DeriveWarnings() const { return deriveWarnings_; }
    void AddLoadWarning(std::string text) { loadWarnings_.push_back(std::move(text)); }

    const DeriveInfo& LastDerive() const { return info_; }

    // The journal of the recording these rows came from (store/Journal.h),
    // held until the rows are saved or knowingly thrown away; freeing the
    // dataset otherwise keeps the file for recovery.
    void AttachJournal(std::unique_ptr<TJournal> journal);
    TJournal* Journal() const { return journal_.get(); }
    // Deletes the journal: the rows were saved, or the user let them go.
    void RemoveJournal();

    // Adds a bookmark at time (seconds since the recording's start, to the
    // millisecond), numbered after the others, with note (made one line), and has the
    // journal, when there is one, keep the bookmarks. Throws FileError when
    // the journal cannot keep them; the bookmark is the dataset's all the
    // same.
    const Bookmark& AddBookmark(double time, const std::string& note);

    std::shared_ptr<const TParameterArray> Parameters;
    TLogItem* LogItem = nullptr;
    std::array<TDoubleArray, DerivedChannelCount> Derived;
    // The user channels computed for these rows, in their list's order; the
    // exports write them after the table's columns. Not saved with the rows.
    std::vector<UserChannelColumn> UserChannels;
    bool Saved = false;
    // The dataset's own file: the one it was opened from or last written to;
    // empty for a recording never saved. Save writes here and nowhere else.
    std::string FileName;
    // When the recording began, in days since 1899-12-30 on the acquisition
    // clock; 0 when not known (a dataset loaded from a file).
    double StartTime = 0;
    // Moments marked while recording, in the order they were set. Save
    // writes them beside the log (FILE.ecu.bookmarks) and opening a log
    // reads them from there.
    std::vector<Bookmark> Bookmarks;

private:
    friend class TLogCollection;
    void sizeDerived();

    TLogCollection* collection_ = nullptr;
    std::string ownName_;
    std::vector<std::string> loadWarnings_;
    std::vector<std::string> deriveWarnings_;
    DeriveInfo info_;
    std::unique_ptr<TJournal> journal_;
};

} // namespace quillmar
