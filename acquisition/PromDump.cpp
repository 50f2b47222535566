// Reading the engine computer's program memory (0x8000..0xFFFF) through
// mode 2 requests into a 32768-byte image file.

#include "acquisition/Acquisition.h"

#include "link/ALDLComms.h"
#include "store/base/AtomicFile.h"
#include "store/base/Messages.h"

#include <QCoreApplication>

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

PromDumpResult Acquisition::DumpProm(const std::string& fileName) {
    if (acquisitionOn_) {
        showMessage("Error", "Data acquisition is in progress");
        return PromDumpResult::Busy;
    }
    if (promRunning_) {
        showMessage("Error", "A PROM dump is already in progress");
        return PromDumpResult::Busy;
    }
    promRunning_ = true;
    promCancel_ = false;
    listener_->graphPanelVisible(false);
    PromDumpResult result;
    try {
        result = runPromDump(fileName);
    } catch (const std::exception& e) {
        ErrorLog.emplace_back(e.what());
        reportNewErrorLines();
        showMessage("Error", "Exception occurred, PROM dump failed");
        result = PromDumpResult::Failed;
    } catch (...) {
        showMessage("Error", "Exception occurred, PROM dump failed");
        result = PromDumpResult::Failed;
    }
    promRunning_ = false;
    promCancel_ = false;
    listener_->graphPanelVisible(true);
    return result;
}

PromDumpResult Acquisition::runPromDump(const std::string& fileName) {
    std::vector<uint8_t> image;
    image.reserve(PromEnd - PromStart);
    uint32_t address = PromStart;
    int emptyReplies = 0;
    while (address < PromEnd) {
        if (promCancel_) {
            ErrorLog.emplace_back("PROM dump cancelled");
            reportNewErrorLines();
            return PromDumpResult::Cancelled;
        }

        // 1. The reply for this address.
        TBytes reply;
        if (testMode_) {
            std::uniform_int_distribution<int> byte(0, 254);
            reply.resize(TestReplyBytes);
            for (auto& c : reply)
                c = static_cast<uint8_t>(byte(random_));
        } else {
            const TBytes request{static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address & 0xFF)};
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
        ErrorLog.push_back(formatLine("Reading addr: $%X", address));

        if (reply.empty()) {
            // 3. An empty reply: try the same address again, up to a limit.
            reportNewErrorLines();
            if (++emptyReplies >= EmptyReplyLimit) {
                showMessage("Error", "ALDL error");
                return PromDumpResult::NoData;
            }
        } else {
            // 4. Keep what belongs below the end of memory.
            emptyReplies = 0;
            ErrorLog.push_back(formatLine("Bytes returned: %u", static_cast<unsigned>(reply.size())));
            reportNewErrorLines();
            const size_t n = std::min<size_t>(reply.size(), PromEnd - address);
            image.insert(image.end(), reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(n));
            address += static_cast<uint32_t>(n);
        }

        // 5. Let pending events run between addresses.
        listener_->promProgress(address, image.size());
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
    }

    // 6. Complete: write the image in one go.
    WriteFileAtomically(fileName, image);
    return PromDumpResult::Written;
}

} // namespace quillmar
