#pragma once
// Stands in for an adapter this build does not have: every operation fails with one
// clear error text, so a job reports it instead of doing anything.

#include "adapters/TargetAdapter.h"

#include <string>

namespace pyrola {

class UnavailableAdapter : public TargetAdapter {
public:
    static constexpr int32_t kErrorNotAvailable = 1;

    UnavailableAdapter(const char* name, std::string errorText)
        : name_(name), errorText_(std::move(errorText)) {}

    const char* GetName() override { return name_; }
    uint32_t GetBlockSize() override { return 256; }
    bool Open() override { return Fail(), false; }
    bool Close() override {
        isOpen = 0;
        return true;
    }
    int32_t GetErrorNumber() override {
        int32_t number = error_;
        error_ = 0;
        return number;
    }
    const char* GetErrorText(int32_t number) override {
        return number == kErrorNotAvailable ? errorText_.c_str() : "";
    }
    int32_t Erase(uint32_t, uint32_t, uint32_t) override { return Fail(); }
    int32_t EraseCheck(uint32_t, uint32_t) override { return Fail(); }
    int32_t WriteMemory(uint32_t, const uint8_t*, uint32_t) override { return Fail(); }
    int32_t ReadMemory(uint32_t, uint8_t*, uint32_t) override { return Fail(); }
    int32_t VerifyMemory(uint32_t, const uint8_t*, uint32_t) override { return Fail(); }
    int32_t Reset(uint32_t, uint32_t, uint32_t) override { return Fail(); }
    int32_t DebugOneWire() override { return Fail(); }

private:
    int32_t Fail() {
        isOpen = 0;
        error_ = kErrorNotAvailable;
        return -1;
    }

    const char* name_;
    std::string errorText_;
    int32_t error_ = 0;
};

} // namespace pyrola
