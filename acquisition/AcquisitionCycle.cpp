// The two ticks: polling the engine computer, recording the reply while
// logging, decoding a share of the table, moving the dials; and the update
// tick that asks for the live table.

#include "acquisition/Acquisition.h"

#include "link/ALDLComms.h"
#include "store/Journal.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LiveDerivation.h"

#include <algorithm>
#include <cmath>

namespace quillmar {

namespace {

// The error log keeps this many of its newest lines at every update tick.
constexpr size_t ErrorLogLimit = 100;

} // namespace

int64_t Acquisition::decodeSteps() const {
    const int64_t count = static_cast<int64_t>(Parameters->size());
    if (count == 0) return 2;
    const int64_t redraw = std::max<int64_t>(redrawInterval_, 1);
    return (count - 1) * static_cast<int64_t>(acqInterval_) / redraw + 2;
}

int64_t Acquisition::roundRobinSteps() const {
    // A short acquisition period or a long update period truncates the
    // share to nothing; one step a tick still refreshes every value in turn.
    return std::max<int64_t>(decodeSteps() - 2, 1);
}

void Acquisition::decodeStep(int index, const uint8_t* data, size_t length) {
    if (index < 0 || index >= static_cast<int>(Parameters->size())) return;
    if (index == Indices.TimeIndex - 1) return;
    if ((*Parameters)[static_cast<size_t>(index)].Size == 0) return;
    DecodeParameter(*Parameters, index, data, length);
}

void Acquisition::acquisitionTick() {
    poll();
    syncJournal(false);
}

void Acquisition::poll() {
    // The counts of repeated error lines that are due.
    reportRepeats(false);

    // 1. The reply bytes.
    TBytes reply;
    if (testMode_) {
        std::uniform_int_distribution<int> byte(0, 254);
        reply.resize(static_cast<size_t>(ReplyLength));
        for (auto& c : reply)
            c = static_cast<uint8_t>(byte(random_));
    } else if (linkLost_ && Comms) {
        // Gone: one line said so; now and then try to open it again.
        retryLink();
        return;
    } else if (!Comms || !Comms->IsOpen()) {
        // No port, so no engine computer to be silent: only the line.
        ErrorLog.emplace_back("Comm port inactive");
        thinRepeats(ErrorLog.size() - 1);
        reportNewErrorLines();
        return;
    } else {
        const size_t linesBefore = ErrorLog.size();
        bool ok;
        if (MessageNumber == -1) {
            ok = Comms->Request(1, reply);
        } else {
            const TBytes data{static_cast<uint8_t>(MessageNumber)};
            ok = Comms->Transact(1, data, reply);
        }
        // The device went away: one line for the loss instead of the
        // transaction's own.
        if (!ok && lineGone()) {
            ErrorLog.resize(linesBefore);
            loseLink(lostLinkReason());
            return;
        }
        // A failed write leaves no line of the link's own; say so, or an
        // unplugged adapter would go unnoticed.
        if (!ok && ErrorLog.size() == linesBefore) ErrorLog.push_back(writeFailureLine());
        thinRepeats(linesBefore);
        reportNewErrorLines();
        if (!ok) {
            noGoodReply();
            return;
        }
        // Dropped without a line in the error log, but counted.
        if (reply.size() != static_cast<size_t>(ReplyLength)) {
            ++wrongLengthReplies_;
            noGoodReply();
            return;
        }
    }
    goodReply();
    const uint8_t* data = reply.data();
    const size_t length = reply.size();

    // 2. The row of the dataset being logged.
    const bool recorded = logging() && CurrentLog;
    double rowTime = 0;
    if (recorded) {
        ++RowCounter;
        const uint32_t row = static_cast<uint32_t>(RowCounter);
        if (row > CurrentLog->Rows) CurrentLog->SetRows(CurrentLog->Rows + 100);
        if (row > CurrentLog->Rows) {
            // The dataset could not grow (out of memory): keep what is
            // recorded, drop this reply, and say so.
            --RowCounter;
            ErrorLog.push_back("Dataset full: reply not recorded");
            reportNewErrorLines();
            return;
        }
        const long double elapsed =
            std::fabs(static_cast<long double>(clock_()) - static_cast<long double>(LogStartTime)) * 86400.0L;
        const double t = static_cast<double>(elapsed);
        rowTime = t;
        CurrentLog->WriteRow(row, data, t);
        if (TJournal* journal = CurrentLog->Journal()) journal->Append(CurrentLog->RowData(row));
        if (Indices.TimeIndex >= 1 && Indices.TimeIndex <= static_cast<int>(Parameters->size()))
            (*Parameters)[static_cast<size_t>(Indices.TimeIndex - 1)].Value = t;
    }

    // 3. Manifold pressure and engine speed every tick, then a share of the
    //    table in round-robin order. Decoding an entry twice from the same
    //    reply changes nothing, so at most one pass over the table is done;
    //    the position still moves as far as the full count says.
    decodeStep(Indices.MapIndex - 1, data, length);
    decodeStep(Indices.EngineSpeedIndex - 1, data, length);
    const int64_t count = static_cast<int64_t>(Parameters->size());
    if (count > 0) {
        const int64_t steps = roundRobinSteps();
        const int64_t work = std::min(steps, count);
        int64_t position = DecodePosition % count;
        for (int64_t k = 0; k < work; ++k) {
            decodeStep(static_cast<int>(position), data, length);
            if (++position == count) position = 0;
        }
        DecodePosition = static_cast<int32_t>((DecodePosition % count + steps % count) % count);
    }

    deriveLive(data, recorded, rowTime);

    // 4. The dials.
    if (enableDials_) {
        auto valueAt = [this](int32_t index) -> double {
            if (index < 1 || index > static_cast<int32_t>(Parameters->size())) return 0;
            return (*Parameters)[static_cast<size_t>(index - 1)].Value;
        };
        listener_->dialsChanged(static_cast<float>(valueAt(Indices.MapIndex) * 100.0),
                                static_cast<float>(valueAt(Indices.EngineSpeedIndex)));
    }

    // Last, so that the listener may stop logging from here.
    if (recorded) listener_->rowRecorded(static_cast<uint32_t>(RowCounter));
}

// The derived entries of the table get the values of the rows so far, and
// so does the row just recorded (the finished recording's derivation
// replaces them).
void Acquisition::deriveLive(const uint8_t* data, bool recorded, double rowTime) {
    if (!live_) return;
    if (!recorded && live_->rows() == 0) liveStart_ = nowSeconds();
    const double t = recorded ? rowTime : nowSeconds() - liveStart_;
    const DerivedValues& values = live_->addRow(data, t);
    for (const auto& [index, slot] : liveEntries_)
        (*Parameters)[static_cast<size_t>(index)].Value = values[static_cast<size_t>(slot)];
    if (recorded) {
        const uint32_t row = static_cast<uint32_t>(RowCounter);
        for (size_t slot = 0; slot < values.size(); ++slot)
            if (row < CurrentLog->Derived[slot].size()) CurrentLog->Derived[slot][row] = values[slot];
    }
}

std::string Acquisition::writeFailureLine() const {
    std::string line = "Cannot write to the port";
    if (Comms && !Comms->LastErrorText.empty()) line += ": " + Comms->LastErrorText;
    return line;
}

void Acquisition::updateTick() {
    if (acquisitionRunning()) listener_->refreshLiveTable();
    if (ErrorLog.size() > ErrorLogLimit) trimErrorLog(ErrorLogLimit);
}

} // namespace quillmar
