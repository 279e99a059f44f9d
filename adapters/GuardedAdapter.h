#pragma once
// An adapter whose every operation runs under a fault guard: an access fault, bus error or
// arithmetic fault raised inside it (a vendor library is closed code) becomes an
// AdapterFault exception for the job engine's step guard, which logs it and ends the list,
// instead of ending the program. Everything else is the wrapped adapter's own behaviour.
//
// The wrapper is what the engine and the shell see: the base fields they set here reach
// the wrapped adapter before each operation, and what it changes comes back after.

#include "adapters/TargetAdapter.h"
#include "platform/FaultGuard.h"

#include <stdexcept>
#include <string>

namespace pyrola {

class AdapterFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class GuardedAdapter : public TargetAdapter {
public:
    // Both must outlive the wrapper.
    GuardedAdapter(TargetAdapter& inner, FaultGuard& guard) : inner_(inner), guard_(guard) {}

    const char* GetName() override;
    uint32_t GetBlockSize() override;
    bool Open() override;
    // After a fault the wrapped adapter is still closed under the guard, so that a port or
    // library that survived is released; a second fault there is only noted.
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

    TargetAdapter& Inner() { return inner_; }

private:
    // Runs one operation of the wrapped adapter with the fields in step; throws
    // AdapterFault when it faulted.
    template <typename Result, typename F> Result Call(const char* operation, F&& operationCall);

    TargetAdapter& inner_;
    FaultGuard& guard_;
};

} // namespace pyrola
