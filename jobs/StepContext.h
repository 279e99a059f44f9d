#pragma once
// What a step works with: the list's adapter, the memory image, the chip's record, the
// reports, the cancel check and the values of the list it belongs to. The engine builds one
// per list (or per synchronous call); the storage it refers to outlives the list.

#include "adapters/DeviceRecord.h"
#include "adapters/TargetAdapter.h"
#include "base/TextFormat.h"
#include "image/MemoryImage.h"
#include "jobs/JobReporter.h"
#include "jobs/JobRequest.h"
#include "jobs/SerialBlock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace pyrola {

// Supply the target is given before every attach.
inline constexpr uint16_t kTargetSupplyMillivolts = 3600;
// Buffer for information memory in the read step (no known device has more than 256 bytes).
inline constexpr uint32_t kInfoReadBuffer = 512;

struct StepContext {
    // The list's adapter: taken once per list, so a switch by the main thread does not reach
    // a running list. Null only where no adapter is selected (the runner refuses the attach).
    TargetAdapter* target = nullptr;
    MemoryImage* image = nullptr;
    // Lent to the adapter for Open; every step takes its memory bounds from here.
    DeviceRecord& device;
    JobReporter& reporter;
    // The front end's hooks, checks and fixed values (the required device).
    const JobRequest& request;
    // The list's values. Erase info and the device index may be written by the main thread
    // while the list runs (a second command line); a step reads them when it starts.
    const std::atomic<uint8_t>& eraseInfo;
    std::atomic<uint32_t>& deviceIndex;
    SerialBlock& serialBlock;
    // Image bytes Program or Verify left out because they lie outside the device.
    std::atomic<uint32_t>& bytesOutsideDevice;
    // The worker control's cancel signal (consumes it).
    std::function<bool()> cancelRequested;
    // Publishes the device record to the main thread.
    std::function<void()> publishRecord;
    // The list's steps not yet taken (null: unknown, as in a step run alone).
    const std::atomic<uint32_t>* remainingSteps = nullptr;

    // The identified chip's memory bounds.
    MemoryRanges Ranges() const { return MemoryRangesOf(device); }
    bool CancelRequested() const { return !cancelRequested || cancelRequested(); }
    void PublishRecord() const {
        if (publishRecord)
            publishRecord();
    }

    // Reporting, printf-style (integer conversions and %s).
    void ReportStatus(const char* format, int isError, ...) const PYROLA_PRINTF(2, 4);
    void ReportLog(const char* format, ...) const PYROLA_PRINTF(2, 3);
    void Report(const char* format, int isError, ...) const PYROLA_PRINTF(2, 4);
    // "<step> failed." in the status line; the log line appends the adapter's error text.
    void StepFailed(uint32_t flag) const;
    // "<step> failed." in the status line; the log line is the adapter's error text alone.
    void StepFailedText(uint32_t flag) const;
    // "<step> complete." in the status line and the log.
    void StepSucceeded(uint32_t flag) const;
    // Logs the lines the adapter added beyond its error text, and forgets them.
    void LogAdapterNotes() const;
    // The adapter's block size, kept within 1 and 64 KiB.
    uint32_t BlockSize() const;
};

} // namespace pyrola
