#include "tests/support/ScriptedAdapter.h"

#include "adapters/DeviceTable.h"

#include <algorithm>
#include <stdexcept>

namespace pyrola::test {

ScriptedAdapter::ScriptedAdapter(uint32_t blockSize, const char* name)
    : memory(0x10000, 0xFF), blockSize_(blockSize), name_(name) {}

void ScriptedAdapter::SetResult(const std::string& op, int32_t result) {
    std::lock_guard<std::mutex> lock(mutex_);
    results_[op] = result;
}

void ScriptedAdapter::FailCall(const std::string& op, uint32_t nth, int32_t result) {
    std::lock_guard<std::mutex> lock(mutex_);
    nthResults_[{op, nth}] = result;
}

void ScriptedAdapter::BlockIn(const std::string& op, uint32_t nth) {
    std::lock_guard<std::mutex> lock(mutex_);
    blockAt_ = {op, nth};
    blocked_ = false;
    released_ = false;
}

void ScriptedAdapter::WaitUntilBlocked() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return blocked_; });
}

void ScriptedAdapter::Release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

void ScriptedAdapter::ThrowIn(const std::string& op, uint32_t nth) {
    std::lock_guard<std::mutex> lock(mutex_);
    throwAt_ = {op, nth};
}

std::vector<AdapterCall> ScriptedAdapter::Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<std::string> ScriptedAdapter::Ops() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> ops;
    for (const AdapterCall& call : calls_)
        ops.push_back(call.op);
    return ops;
}

std::vector<AdapterCall> ScriptedAdapter::CallsOf(const std::string& op) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<AdapterCall> out;
    for (const AdapterCall& call : calls_)
        if (call.op == op)
            out.push_back(call);
    return out;
}

uint32_t ScriptedAdapter::CountOf(const std::string& op) const {
    return uint32_t(CallsOf(op).size());
}

void ScriptedAdapter::ClearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
    counts_.clear();
}

int32_t ScriptedAdapter::Enter(AdapterCall call) {
    const int now = ++inside_;
    int seen = maxInside_.load();
    while (now > seen && !maxInside_.compare_exchange_weak(seen, now)) {
    }
    int32_t result = 0;
    bool block = false;
    bool fail = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const uint32_t nth = ++counts_[call.op];
        calls_.push_back(call);
        if (auto it = results_.find(call.op); it != results_.end())
            result = it->second;
        if (auto it = nthResults_.find({call.op, nth}); it != nthResults_.end())
            result = it->second;
        block = blockAt_.first == call.op && blockAt_.second == nth;
        fail = throwAt_.first == call.op && throwAt_.second == nth;
    }
    if (onCall)
        onCall(call);
    if (block) {
        std::unique_lock<std::mutex> lock(mutex_);
        blocked_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
    }
    if (fail) {
        Leave();
        throw std::runtime_error("scripted fault in " + call.op);
    }
    return result;
}

void ScriptedAdapter::Leave() {
    --inside_;
}

bool ScriptedAdapter::InMemory(uint32_t address, uint32_t count) const {
    return address <= memory.size() && count <= memory.size() - address;
}

bool ScriptedAdapter::Open() {
    Enter({"Open", requestedDevice, deviceRecord ? deviceRecord->supplyMillivolts : 0u, 0, {}});
    if (openResult && deviceRecord && openDevice != 0)
        FillDeviceRecord(openDevice, deviceRecord);
    isOpen = openResult ? 1 : 0;
    Leave();
    return openResult;
}

bool ScriptedAdapter::Close() {
    Enter({"Close", 0, 0, 0, {}});
    isOpen = 0;
    Leave();
    return true;
}

int32_t ScriptedAdapter::GetErrorNumber() {
    Enter({"GetErrorNumber", 0, 0, 0, {}});
    const int32_t number = errorNumber;
    if (clearErrorOnRead)
        errorNumber = 0;
    Leave();
    return number;
}

const char* ScriptedAdapter::GetErrorText(int32_t number) {
    Enter({"GetErrorText", uint32_t(number), 0, 0, {}});
    Leave();
    auto it = errorTexts.find(number);
    return it != errorTexts.end() ? it->second : defaultErrorText;
}

int32_t ScriptedAdapter::Erase(uint32_t mode, uint32_t address, uint32_t length) {
    const int32_t result = Enter({"Erase", mode, address, length, {}});
    if (result == 0) {
        // Mode 2 also erases information memory; the record (when lent) says where it is.
        const uint32_t end = std::min<uint32_t>(uint32_t(memory.size()), address + length);
        for (uint32_t a = address; a < end; ++a)
            memory[a] = 0xFF;
        if (mode == kEraseAll && deviceRecord) {
            for (uint32_t a = deviceRecord->infoStart; a <= deviceRecord->infoEnd && a < memory.size(); ++a)
                memory[a] = 0xFF;
        }
    }
    Leave();
    return result;
}

int32_t ScriptedAdapter::EraseCheck(uint32_t address, uint32_t length) {
    int32_t result = Enter({"EraseCheck", address, length, 0, {}});
    if (result == 0 && InMemory(address, length)) {
        for (uint32_t i = 0; i < length; ++i)
            if (memory[address + i] != 0xFF)
                result = -1;
    }
    Leave();
    return result;
}

int32_t ScriptedAdapter::WriteMemory(uint32_t address, const uint8_t* data, uint32_t count) {
    const int32_t result =
        Enter({"WriteMemory", address, count, 0, std::vector<uint8_t>(data, data + count)});
    if (result == 0 && InMemory(address, count)) {
        for (uint32_t i = 0; i < count; ++i)
            memory[address + i] &= data[i]; // flash only clears bits
    }
    if (touchSpareByte && (count & 1) != 0)
        (void)*(volatile const uint8_t*)(data + count);
    Leave();
    return result;
}

int32_t ScriptedAdapter::ReadMemory(uint32_t address, uint8_t* data, uint32_t count) {
    const int32_t result = Enter({"ReadMemory", address, count, 0, {}});
    if (result == 0 && InMemory(address, count)) {
        std::copy_n(memory.begin() + address, count, data);
        if (touchSpareByte && (count & 1) != 0)
            data[count] = address + count < memory.size() ? memory[address + count] : 0xFF;
    }
    Leave();
    return result;
}

int32_t ScriptedAdapter::VerifyMemory(uint32_t address, const uint8_t* data, uint32_t count) {
    int32_t result = Enter({"VerifyMemory", address, count, 0, std::vector<uint8_t>(data, data + count)});
    if (result == 0 &&
        (!InMemory(address, count) || !std::equal(data, data + count, memory.begin() + address)))
        result = -1;
    Leave();
    return result;
}

int32_t ScriptedAdapter::Reset(uint32_t method, uint32_t execute, uint32_t releaseJtag) {
    const int32_t result = Enter({"Reset", method, execute, releaseJtag, {}});
    Leave();
    return result;
}

int32_t ScriptedAdapter::DebugOneWire() {
    Enter({"DebugOneWire", 0, 0, 0, {}});
    Leave();
    return -1;
}

} // namespace pyrola::test
