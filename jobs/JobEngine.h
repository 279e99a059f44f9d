#pragma once
// Runs a job list: the requested steps, one at a time and in a fixed order, against the
// current adapter and the memory image, reporting through the message bus. The list runs
// on a worker thread; the main thread starts, cancels and waits for it.

#include "adapters/DeviceRecord.h"
#include "adapters/TargetAdapter.h"
#include "base/TextFormat.h"
#include "image/MemoryImage.h"
#include "jobs/CancelEvent.h"
#include "jobs/JobFlags.h"
#include "jobs/JobReporter.h"
#include "jobs/JobRequest.h"
#include "jobs/JobWorker.h"
#include "jobs/MessageBus.h"
#include "jobs/SerialBlock.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pyrola {

// Wait allowance carried by the end-of-list job-state notice.
inline constexpr uint32_t kWorkerEndWaitMs = 1000;
// Supply the target is given before every attach.
inline constexpr uint16_t kTargetSupplyMillivolts = 3600;
// Buffer for information memory in the read step (no known device has more than 256 bytes).
inline constexpr uint32_t kInfoReadBuffer = 512;

// How long one step of the last list took; bit 0 stands for the initialization.
struct StepTime {
    uint32_t bit = 0;
    uint32_t milliseconds = 0;
};

class JobEngine {
public:
    explicit JobEngine(MessageBus* bus = nullptr, MemoryImage* image = nullptr);
    // Breaks off a running worker as the job start does, then joins every worker it
    // started, so no worker outlives the engine. The bus and adapter must outlive it, and
    // the bus's Send must not wait for the destroying thread (it is blocked in the join).
    ~JobEngine();

    JobEngine(const JobEngine&) = delete;
    JobEngine& operator=(const JobEngine&) = delete;

    // The current adapter. The main thread may switch it at any time (a second start's
    // command line can arrive while a list runs); a worker takes it once per list, under the
    // adapter lock, and keeps that copy for every step and the Close.
    std::atomic<TargetAdapter*> adapter{nullptr};
    // Set by the main thread while no worker runs.
    MemoryImage* image = nullptr;
    // Lent to the adapter for Open; every step takes its memory bounds from here. Written by
    // the worker: read it from the main thread only while no worker runs, or use
    // PublishedRecord().
    DeviceRecord deviceRecord{};
    // Also written by a command line that arrives while a list runs.
    std::atomic<uint8_t> eraseInfo{1};
    SerialBlock serialBlock;
    int threadPriority = kWorkerPriorityNormal;
    // Applies threadPriority on the worker thread. The front end sets it to
    // SetCurrentThreadPriority (platform/ThreadPriority.h); the core cannot link the platform
    // layer itself. Null leaves the worker at normal priority.
    void (*applyThreadPriority)(int priority) = nullptr;
    // Both threads touch these while a list runs.
    std::atomic<uint32_t> deviceIndex{0};
    // A device row the identified chip must be (0: any). Init fails, naming both, when the
    // chip identifies as another row; where the adapter cannot tell, deviceIndex proposes it.
    std::atomic<uint32_t> requiredDevice{0};
    std::atomic<uint32_t> jobFlags{0};
    // Image bytes that Program or Verify of the last list left out because they lie outside
    // the device's memory (0 at every list start). A front end that must not pass such a
    // run as complete reads it after the list.
    std::atomic<uint32_t> bytesOutsideDevice{0};

    // The front end's hooks and checks for the lists from now on (see JobRequest). Main
    // thread, only while no worker runs.
    void SetRequest(JobRequest request) { request_ = std::move(request); }

    // Runs the next step of the list. True: the list goes on; false: it is over.
    bool Dispatch();
    // The worker's entry point: Dispatch until the list is over, Close, final notice.
    void Run();

    // Reporting, printf-style (integer conversions and %s).
    void ReportStatus(const char* format, int isError, ...) PYROLA_PRINTF(2, 4);
    void ReportLog(const char* format, ...) PYROLA_PRINTF(2, 3);
    void Report(const char* format, int isError, ...) PYROLA_PRINTF(2, 4);
    // "%s failed." in the status line; the log line appends the adapter's error text.
    void ReportFailure(const char* stepName);
    // "%s failed." in the status line; the log line is the adapter's error text alone.
    void ReportFailureText(const char* stepName);
    void ReportSuccess(const char* stepName);

    // Worker control, main thread only. StartWorker breaks off a running worker (log
    // "Break operation..", signal, wait at most 77 ms, give it up), drops the cancel bit,
    // and starts a worker for the remaining flags. False when no worker was started.
    bool StartWorker(uint32_t flags, int priority);
    bool IsWorkerRunning() const;
    // Changes the adapters' own fields (port number, loader patch flag, password). Made at
    // once while no worker uses the adapters; otherwise kept, in order, until the worker
    // lets go of them at the end of its list, so a running list never sees them change.
    void ChangeAdapters(std::function<void()> change);
    // Waits at most the given time for the current worker to end. True when none runs.
    bool WaitForWorker(uint32_t milliseconds);
    // Main thread: true while any worker this engine started is still inside its list,
    // including one given up on after a break (it may still read or write the image).
    bool AnyWorkerAlive() const;
    // Main thread: waits at most the given time for every worker to end, given-up ones
    // included. True when none is left.
    bool WaitForAllWorkers(uint32_t milliseconds);
    // Blocks until every worker this engine started has ended, including workers given up
    // on (for a front end that exits, and for tests). Does not cancel anything itself.
    void JoinWorkers();

    // Synchronous use without a worker (tests, tools): hold a fresh cancel event so that
    // Read, Program and Verify run; signal it to cancel. Only while no worker runs.
    std::shared_ptr<CancelEvent> HoldCancelEvent();
    // The cancel signal as the steps see it: the event is signalled (the test consumes
    // it) or no event is held.
    bool CancelRequested();

    // Copy of the device record as of the last attach, safe to call while a worker runs.
    DeviceRecord PublishedRecord() const;
    // The steps of the last list that ran, in order, with their times.
    std::vector<StepTime> StepTimes() const;

    // Memory steps; each returns true to let the list go on.
    bool StepInit();
    bool StepReset();
    bool StepErase();
    bool StepBlankCheck();
    bool StepRead();
    bool StepProgram();
    bool StepVerify();
    bool StepDump(uint32_t address, uint32_t length);
    bool StepDebugOneWire();
    bool StepAttachOnly();
    // Serial-number steps.
    bool StepWriteSerialNumber();
    bool StepReadSerialNumber();

private:
    // The identified chip's memory bounds, from the adapter's device record.
    MemoryRanges Ranges() const { return MemoryRangesOf(deviceRecord); }
    enum class Next { Continue, Over, Cancelled };
    Next DispatchNext();
    Next RunStep(uint32_t bit);
    // Takes the first bit of the list in step order; 0 when none is left.
    uint32_t TakeNextBit(bool& givenUp);
    void SendValue(uint32_t code, uintptr_t value);
    void PostValue(uint32_t code, uintptr_t value);
    void SendStatus(const std::string& text, int isError);
    void SendLog(const std::string& text);
    // The adapter of the list being run: the worker's own copy on a worker thread, the
    // current adapter for synchronous use.
    TargetAdapter* Target();
    const char* FetchErrorText();
    // Logs the lines the adapter added beyond its error text, and forgets them.
    void LogAdapterNotes();
    uint32_t BlockSize();
    // Clamps the image window to the device and logs the warnings.
    void DeviceWindow(uint32_t& start, uint32_t& end);
    // Logs one warning for the image bytes outside the device's memory, which the step
    // leaves out ("written" or "checked"), and records their count.
    void WarnBytesOutsideDevice(const char* action);
    void PublishRecord();
    // Serial-number helpers.
    // The block's address lies in flash (and, for a patch, the serial in one segment);
    // otherwise the refusal is reported.
    bool SerialAddressAccepted(bool patching);
    bool ReadSerialBytes();
    bool SerialWriteFailed();
    // Whether count bytes at address hold data: the adapter's own verify, or where it has
    // none (it fails), a read back and compare.
    bool SerialBytesMatch(uint32_t address, const uint8_t* data, uint32_t count);
    // The rewritten segment against the image with the serial over it (see
    // checkSerialAgainstImage); false, reported, on a difference.
    bool SerialSegmentMatchesImage(uint32_t segment, uint32_t size, const std::vector<uint8_t>& backup);
    void RecordStepTime(uint32_t bit, std::chrono::steady_clock::time_point started);
    // Runs prepareSerialWrite; false (reported) when the step must stop.
    bool PrepareSerialWrite();

    JobRequest request_;
    JobReporter reporter_;
    mutable std::mutex recordMutex_;
    DeviceRecord published_{};
    std::vector<StepTime> stepTimes_; // guarded by recordMutex_
    // Last, so that it is destroyed first: its workers run this engine's lists.
    JobWorker worker_;
};

} // namespace pyrola
