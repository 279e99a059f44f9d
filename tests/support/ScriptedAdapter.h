#pragma once
// A TargetAdapter for tests. It records every call with its arguments, in order; returns
// programmed results (per operation, or for the n-th call of an operation) and error
// numbers/texts; keeps a 64 KiB memory (erased to 0xFF) so that Write, Read and Verify
// round-trip; can block inside a chosen call until released (cancel tests), throw inside a
// chosen call, touch the spare byte past an odd count like the JTAG adapter does, and
// counts how many threads are inside it at once. Thread-safe.

#include "adapters/TargetAdapter.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace pyrola::test {

struct AdapterCall {
    std::string op;            // operation name, e.g. "WriteMemory"
    uint32_t a = 0;            // first argument (address, mode, method, error number)
    uint32_t b = 0;            // second argument (length, address, execute)
    uint32_t c = 0;            // third argument (length, releaseJtag)
    std::vector<uint8_t> data; // bytes handed to WriteMemory/VerifyMemory
};

class ScriptedAdapter : public TargetAdapter {
public:
    explicit ScriptedAdapter(uint32_t blockSize = 256, const char* name = "FET");

    // --- programming --------------------------------------------------------------------
    // Device index Open fills the record with (device table); 0 leaves index 0.
    uint32_t openDevice = 7;
    bool openResult = true;
    // Result of every call of an operation ("Erase", "ReadMemory", ...); default 0.
    void SetResult(const std::string& op, int32_t result);
    // Result of the n-th call (1-based) of an operation, overriding SetResult.
    void FailCall(const std::string& op, uint32_t nth, int32_t result = -1);
    // Number GetErrorNumber returns; cleared on read when clearErrorOnRead.
    int32_t errorNumber = 0;
    bool clearErrorOnRead = false;
    // Texts GetErrorText returns by number; unknown numbers give defaultErrorText (may be null).
    std::map<int32_t, const char*> errorTexts;
    const char* defaultErrorText = "Scripted error";
    // Writes data[count] on odd counts (as the JTAG adapter's word transfers do).
    bool touchSpareByte = true;
    // Code run inside each call after it was recorded (e.g. to signal a cancel).
    std::function<void(const AdapterCall&)> onCall;

    // Blocks the n-th call of op until Release(); WaitUntilBlocked waits for a thread to arrive.
    void BlockIn(const std::string& op, uint32_t nth = 1);
    void WaitUntilBlocked();
    void Release();
    // Throws std::runtime_error inside the n-th call of op.
    void ThrowIn(const std::string& op, uint32_t nth = 1);

    // --- inspection ---------------------------------------------------------------------
    std::vector<AdapterCall> Calls() const;
    std::vector<std::string> Ops() const; // operation names in order
    std::vector<AdapterCall> CallsOf(const std::string& op) const;
    uint32_t CountOf(const std::string& op) const;
    int MaxConcurrent() const { return maxInside_.load(); }
    void ClearCalls();

    // Target memory (64 KiB, 0xFF after construction).
    std::vector<uint8_t> memory;

    // --- TargetAdapter ------------------------------------------------------------------
    const char* GetName() override { return name_; }
    uint32_t GetBlockSize() override { return blockSize_; }
    bool Open() override;
    bool Close() override;
    int32_t GetErrorNumber() override;
    const char* GetErrorText(int32_t number) override;
    int32_t Erase(uint32_t mode, uint32_t address, uint32_t length) override;
    int32_t EraseCheck(uint32_t address, uint32_t length) override;
    int32_t WriteMemory(uint32_t address, const uint8_t* data, uint32_t count) override;
    int32_t ReadMemory(uint32_t address, uint8_t* data, uint32_t count) override;
    int32_t VerifyMemory(uint32_t address, const uint8_t* data, uint32_t count) override;
    int32_t Reset(uint32_t method, uint32_t execute, uint32_t releaseJtag) override;
    int32_t DebugOneWire() override;

private:
    // Records the call, runs hooks, blocks or throws; returns the programmed result.
    int32_t Enter(AdapterCall call);
    void Leave();
    bool InMemory(uint32_t address, uint32_t count) const;

    uint32_t blockSize_;
    const char* name_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<AdapterCall> calls_;
    std::map<std::string, int32_t> results_;
    std::map<std::pair<std::string, uint32_t>, int32_t> nthResults_;
    std::map<std::string, uint32_t> counts_;
    std::pair<std::string, uint32_t> blockAt_{"", 0};
    std::pair<std::string, uint32_t> throwAt_{"", 0};
    bool blocked_ = false;
    bool released_ = false;
    std::atomic<int> inside_{0};
    std::atomic<int> maxInside_{0};
};

} // namespace pyrola::test
