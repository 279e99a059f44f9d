#pragma once
// Runs a job list: the requested steps, one at a time and in a fixed order, against the
// current adapter and the memory image, reporting through the message bus. A thin facade
// over its parts: the worker control (JobWorker) runs the list on a worker thread, the step
// runner (StepRunner) takes the steps of the step table (JobSteps.h) over a step context
// (StepContext), and the reporter (JobReporter) sends the reports.

#include "adapters/DeviceRecord.h"
#include "adapters/TargetAdapter.h"
#include "image/MemoryImage.h"
#include "jobs/CancelEvent.h"
#include "jobs/JobFlags.h"
#include "jobs/JobReporter.h"
#include "jobs/JobRequest.h"
#include "jobs/JobWorker.h"
#include "jobs/MessageBus.h"
#include "jobs/SerialBlock.h"
#include "jobs/StepContext.h"
#include "jobs/StepRunner.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace pyrola {

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
    void SetAdapter(TargetAdapter* target) { adapter_ = target; }
    TargetAdapter* CurrentAdapter() const { return adapter_.load(); }
    // The memory image the steps read and fill. Main thread, while no worker runs.
    void SetImage(MemoryImage* image) { image_ = image; }

    // Values the front end sets for the lists it starts; safe from any thread, also while a
    // list runs (a second command line sets them before it breaks the running list off). A
    // step reads them when it starts.
    // Erase (and blank-check, program) information memory too.
    void SetEraseInfo(bool eraseInfo) { eraseInfo_ = eraseInfo ? 1 : 0; }
    bool EraseInfo() const { return eraseInfo_.load() != 0; }
    // The device row the next attach proposes to the adapter; the attach replaces it with
    // the row it identified (0: none).
    void SetDeviceIndex(uint32_t index) { deviceIndex_ = index; }
    uint32_t DeviceIndex() const { return deviceIndex_.load(); }

    // The serial number the serial steps write and read back (the serialization form and
    // the headless program edit it). Main thread only while no worker runs.
    SerialBlock& Serial() { return serialBlock_; }

    // Applies a worker's priority on the worker thread. The front end hands in
    // SetCurrentThreadPriority (platform/ThreadPriority.h); the core cannot link the platform
    // layer itself. Null leaves the worker at normal priority. Main thread.
    void SetPriorityHook(void (*apply)(int priority)) { worker_.SetPriorityHook(apply); }
    // The priority the last list was started with.
    int ThreadPriority() const { return threadPriority_; }

    // The steps of the current (or last) list not taken yet: a bit of kJobStepBits left
    // after a list means it did not finish. Any thread.
    uint32_t RemainingFlags() const { return jobFlags_.load(); }
    // Image bytes that Program or Verify of the last list left out because they lie outside
    // the device's memory (0 at every list start). A front end that must not pass such a
    // run as complete reads it after the list.
    uint32_t BytesOutsideDevice() const { return bytesOutsideDevice_.load(); }

    // The front end's hooks, checks and fixed values for the lists from now on (see
    // JobRequest). Main thread, only while no worker runs.
    void SetRequest(JobRequest request) { request_ = std::move(request); }
    const JobRequest& Request() const { return request_; }

    // Synchronous use without a worker (tests, tools): the context a step runs with, on the
    // current adapter, and the flags of the list Dispatch and Run work through.
    StepContext Context();
    void SetFlags(uint32_t flags) { jobFlags_ = flags; }
    // Synchronous: runs the next step of the list. True: the list goes on; false: it is over.
    bool Dispatch();
    // Synchronous: runs the list to its end (Close, final notice) as a worker does.
    void Run();

    // Worker control, main thread only. StartWorker breaks off a running worker (log
    // "Break operation..", signal, wait at most 77 ms, give it up), drops the cancel bit,
    // and starts a worker for the remaining flags. False when no worker was started.
    bool StartWorker(uint32_t flags, int priority);
    bool IsWorkerRunning() const { return worker_.IsRunning(); }
    // Changes the adapters' own fields (port number, loader patch flag, password). Made at
    // once while no worker uses the adapters; otherwise kept, in order, until the worker
    // lets go of them at the end of its list, so a running list never sees them change.
    void ChangeAdapters(std::function<void()> change) { worker_.ChangeAdapters(std::move(change)); }
    // Waits at most the given time for the current worker to end. True when none runs.
    bool WaitForWorker(uint32_t milliseconds) { return worker_.WaitFor(milliseconds); }
    // Main thread: true while any worker this engine started is still inside its list,
    // including one given up on after a break (it may still read or write the image).
    bool AnyWorkerAlive() const { return worker_.AnyAlive(); }
    // Main thread: waits at most the given time for every worker to end, given-up ones
    // included. True when none is left.
    bool WaitForAllWorkers(uint32_t milliseconds) { return worker_.WaitForAll(milliseconds); }
    // Blocks until every worker this engine started has ended, including workers given up
    // on (for a front end that exits, and for tests). Does not cancel anything itself.
    void JoinWorkers() { worker_.JoinAll(); }

    // Synchronous use without a worker: hold a fresh cancel event so that Read, Program and
    // Verify run; signal it to cancel. Only while no worker runs.
    std::shared_ptr<CancelEvent> HoldCancelEvent() { return worker_.HoldCancelEvent(); }

    // Copy of the device record as of the last attach, safe to call while a worker runs.
    DeviceRecord PublishedRecord() const;
    // The steps of the last list that ran, in order, with their times.
    std::vector<StepTime> StepTimes() const { return runner_.StepTimes(); }

private:
    StepContext ContextFor(TargetAdapter* target);
    void PublishRecord();

    std::atomic<TargetAdapter*> adapter_{nullptr};
    MemoryImage* image_ = nullptr; // set by the main thread while no worker runs
    // Lent to the adapter for Open; every step takes its memory bounds from here. Written by
    // the worker: the main thread reads PublishedRecord().
    DeviceRecord deviceRecord_{};
    std::atomic<uint8_t> eraseInfo_{1};
    std::atomic<uint32_t> deviceIndex_{0};
    SerialBlock serialBlock_;
    int threadPriority_ = kWorkerPriorityNormal;
    std::atomic<uint32_t> jobFlags_{0};
    std::atomic<uint32_t> bytesOutsideDevice_{0};
    JobRequest request_;
    JobReporter reporter_;
    mutable std::mutex recordMutex_;
    DeviceRecord published_{};
    StepRunner runner_;
    // Last, so that it is destroyed first: its workers run this engine's lists.
    JobWorker worker_;
};

} // namespace pyrola
