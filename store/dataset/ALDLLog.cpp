#include "store/dataset/ALDLLog.h"

#include "store/Journal.h"
#include "store/dataset/LogCollection.h"
#include "store/dataset/ParameterValue.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace quillmar {

TALDLLog::TALDLLog(std::shared_ptr<const TParameterArray> parameters)
    : Parameters(parameters ? std::move(parameters) : std::make_shared<const TParameterArray>()) {
    TALDLLog::Make2D(LogColumns, 0, 1);
}

TALDLLog::~TALDLLog() = default;

void TALDLLog::AttachJournal(std::unique_ptr<TJournal> journal) {
    journal_ = std::move(journal);
}

void TALDLLog::RemoveJournal() {
    if (!journal_) return;
    journal_->Remove();
    journal_.reset();
}

const Bookmark& TALDLLog::AddBookmark(double time, const std::string& note) {
    uint32_t number = 1;
    for (const Bookmark& b : Bookmarks)
        number = std::max(number, b.Number + 1);
    // To the millisecond, as the bookmarks file holds it: the same before a
    // save and after opening it again.
    Bookmarks.push_back({std::round(time * 1000.0) / 1000.0, number, CleanBookmarkNote(note)});
    if (journal_) journal_->KeepBookmarks(Bookmarks);
    return Bookmarks.back();
}

void TALDLLog::sizeDerived() {
    for (TDoubleArray& channel : Derived)
        channel.assign(size_t(Rows) + 1, 0.0);
}

bool TALDLLog::Make2D(uint32_t columns, uint32_t rows, uint32_t elementSize) {
    const bool ok = TNumber2DArrayStore::Make2D(columns, rows, elementSize);
    sizeDerived();
    return ok;
}

bool TALDLLog::SetRows(uint32_t rows) {
    const bool ok = TNumber2DArrayStore::SetRows(rows);
    // Rows grow during logging: keep what was derived, pad with zeros.
    for (TDoubleArray& channel : Derived)
        channel.resize(size_t(Rows) + 1, 0.0);
    return ok;
}

long double TALDLLog::ParameterValue(int column, uint32_t row) const {
    if (column > 0 && static_cast<size_t>(column) > Parameters->size()) {
        const size_t channel = static_cast<size_t>(column) - Parameters->size() - 1;
        if (channel >= UserChannels.size()) return 0;
        const TDoubleArray& values = UserChannels[channel].Values;
        return row >= 1 && row <= Rows && row < values.size() ? values[row] : NAN;
    }
    return quillmar::ParameterValue(*Parameters, *this, column, row, &Derived);
}

std::string TALDLLog::DatasetName() const {
    if (collection_) {
        const int index = collection_->IndexOf(this);
        if (index >= 0) return collection_->names_[size_t(index)];
    }
    return ownName_;
}

void TALDLLog::SetDatasetName(const std::string& name) {
    ownName_ = name;
    if (!collection_) return;
    const int index = collection_->IndexOf(this);
    if (index < 0) return;
    collection_->names_[size_t(index)] = name;
    if (collection_->selected_ == index) collection_->selectionText_ = name;
}

double TALDLLog::TimeStamp(uint32_t row) const {
    if (Columns != LogColumns || RecordSize != 1) return 0;
    const uint8_t* data = RowData(row);
    if (!data) return 0;
    uint64_t bits = 0;
    for (int k = 7; k >= 0; --k)
        bits = (bits << 8) | data[ReplyLength + k];
    return std::bit_cast<double>(bits);
}

void TALDLLog::WriteRow(uint32_t row, const uint8_t* data, double time) {
    if (Columns != LogColumns || RecordSize != 1) return;
    uint8_t* p = RowData(row);
    if (!p) return;
    std::memcpy(p, data, size_t(ReplyLength));
    uint64_t bits = std::bit_cast<uint64_t>(time);
    for (int k = 0; k < 8; ++k, bits >>= 8)
        p[ReplyLength + k] = uint8_t(bits & 0xFF);
}

std::vector<std::string> TALDLLog::Warnings() const {
    std::vector<std::string> all = loadWarnings_;
    all.insert(all.end(), deriveWarnings_.begin(), deriveWarnings_.end());
    return all;
}

} // namespace quillmar
