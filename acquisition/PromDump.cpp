// Reading the engine computer's program memory (0x8000..0xFFFF) through
// mode 2 requests into a 32768-byte image file. The dump runs from the event
// loop, one address a step, so that everything else goes on between steps.

#include "acquisition/Acquisition.h"

#include "link/ALDLComms.h"
#include "store/base/AtomicFile.h"
#include "store/base/Messages.h"

#include <cstdio>

namespace quillmar {

namespace {

constexpr uint32_t PromStart = 0x8000;
constexpr uint32_t PromEnd = 0x10000;
constexpr int AttemptLimit = 5;
constexpr int EmptyReplyLimit = 5;
constexpr size_t TestReplyBytes = 64;

std::string formatLine(const char* pattern, unsigned value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

} // namespace

bool Acquisition::startPromDump(const std::string& fileName) {
    if (talking()) {
        showMessage("Error", "Data acquisition is in progress");
        return false;
    }
    if (promDumpRunning()) {
        showMessage("Error", "A PROM dump is already in progress");
        return false;
    }
    if (!transition(AcquisitionState::Dumping)) return false;
    prom_ = std::make_unique<PromDumpRun>();
    prom_->FileName = fileName;
    prom_->Image.reserve(PromEnd - PromStart);
    prom_->Address = PromStart;
    promCancel_ = false;
    listener_->linkActivity(true);
    promTimer_.start();
    return true;
}

void Acquisition::cancelPromDump() {
    if (promDumpRunning()) promCancel_ = true;
}

void Acquisition::runPromStep() {
    if (!prom_) return;
    std::optional<PromDumpResult> done;
    promStepping_ = true;
    try {
        done = promDumpStep();
    } catch (const std::exception& e) {
        ErrorLog.emplace_back(e.what());
        reportNewErrorLines();
        showMessage("Error", "Exception occurred, PROM dump failed");
        done = PromDumpResult::Failed;
    } catch (...) {
        showMessage("Error", "Exception occurred, PROM dump failed");
        done = PromDumpResult::Failed;
    }
    promStepping_ = false;
    if (done)
        finishPromDump(*done);
    else if (prom_)
        promTimer_.start(); // the next step once the events waiting now have run
}

std::optional<PromDumpResult> Acquisition::promDumpStep() {
    PromDumpRun& run = *prom_;
    if (promCancel_) return PromDumpResult::Cancelled;

    // 1. The reply for this address.
    TBytes reply;
    if (testMode_) {
        std::uniform_int_distribution<int> byte(0, 254);
        reply.resize(TestReplyBytes);
        for (auto& c : reply)
            c = static_cast<uint8_t>(byte(random_));
    } else {
        const TBytes request{static_cast<uint8_t>(run.Address >> 8),
                             static_cast<uint8_t>(run.Address & 0xFF)};
        bool ok = false;
        for (int attempt = 0; attempt < AttemptLimit && !ok; ++attempt) {
            reply.clear();
            // A device that went away (unplugged, perhaps plugged back
            // in while idle) is opened again at once, as talking does.
            if (linkLost_ && !reopenLostLink()) continue;
            const size_t linesBefore = ErrorLog.size();
            ok = Comms && Comms->Transact(2, request, reply);
            if (!ok && lineGone()) {
                // One line for the loss instead of the transaction's own.
                ErrorLog.resize(linesBefore);
                loseLink(lostLinkReason());
                if (reopenLostLink()) ok = Comms->Transact(2, request, reply);
            }
            if (!ok && ErrorLog.size() == linesBefore) ErrorLog.push_back(writeFailureLine());
        }
        reportNewErrorLines();
        if (!ok) {
            showMessage("Aborting", "Five consecutive mode 2 command failures");
            return PromDumpResult::LinkFailed;
        }
    }

    // 2. Progress in the error log.
    ErrorLog.push_back(formatLine("Reading addr: $%X", run.Address));

    if (reply.empty()) {
        // 3. An empty reply: try the same address again, up to a limit.
        reportNewErrorLines();
        if (++run.EmptyReplies >= EmptyReplyLimit) {
            showMessage("Error", "ALDL error");
            return PromDumpResult::NoData;
        }
    } else {
        // 4. Keep what belongs below the end of memory.
        run.EmptyReplies = 0;
        ErrorLog.push_back(formatLine("Bytes returned: %u", static_cast<unsigned>(reply.size())));
        reportNewErrorLines();
        const size_t n = std::min<size_t>(reply.size(), PromEnd - run.Address);
        run.Image.insert(run.Image.end(), reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(n));
        run.Address += static_cast<uint32_t>(n);
    }

    // 5. Complete: write the image in one go.
    listener_->promProgress(run.Address, run.Image.size());
    if (run.Address < PromEnd) return std::nullopt;
    WriteFileAtomically(run.FileName, run.Image);
    return PromDumpResult::Written;
}

void Acquisition::finishPromDump(PromDumpResult result) {
    if (!prom_) return;
    promTimer_.stop();
    prom_.reset();
    promCancel_ = false;
    promResult_ = result;
    if (result == PromDumpResult::Cancelled) {
        ErrorLog.emplace_back("PROM dump cancelled");
        reportNewErrorLines();
    }
    transition(AcquisitionState::Idle);
    listener_->linkActivity(false);
    listener_->promDumpFinished(result);
}

} // namespace quillmar
