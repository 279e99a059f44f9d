#pragma once
// The adapter that drives a target through the FET interface library, loaded at run
// time by name: "MSP430.DLL" on Windows, "libmsp430.so" elsewhere, or the file that
// $PYROLA_FET_LIBRARY names. Operations are forwarded to the library's entry points
// almost one to one; a library that is missing, or lacks any of the thirteen entry
// points, is looked for again at every Open.

#include "adapters/TargetAdapter.h"
#include "platform/DynamicLibrary.h"
#include "platform/FaultGuard.h"

#include <cstdint>
#include <memory>
#include <string>

namespace pyrola {

// The library's calling convention (the same as the C one on 64-bit Windows).
#if defined(_WIN32) && !defined(_WIN64)
#define PYROLA_FET_CALL __stdcall
#else
#define PYROLA_FET_CALL
#endif

// Entry points of the FET library; every argument and result is 32 bits wide.
namespace fet {
using InitializeFn = int32_t(PYROLA_FET_CALL*)(const char* port, int32_t* version);
using CloseFn = int32_t(PYROLA_FET_CALL*)(int32_t vccOff);
using IdentifyFn = int32_t(PYROLA_FET_CALL*)(uint8_t* record, int32_t size, int32_t setId);
using DeviceFn = int32_t(PYROLA_FET_CALL*)(int32_t index, uint8_t* record, int32_t size);
using ConfigureFn = int32_t(PYROLA_FET_CALL*)(int32_t mode, int32_t value);
using VccFn = int32_t(PYROLA_FET_CALL*)(int32_t millivolts);
using ResetFn = int32_t(PYROLA_FET_CALL*)(int32_t method, int32_t execute, int32_t releaseJtag);
using EraseFn = int32_t(PYROLA_FET_CALL*)(int32_t mode, int32_t address, int32_t length);
using MemoryFn = int32_t(PYROLA_FET_CALL*)(int32_t address, uint8_t* buffer, int32_t count, int32_t read);
using VerifyMemFn = int32_t(PYROLA_FET_CALL*)(int32_t address, int32_t count, const uint8_t* data);
using EraseCheckFn = int32_t(PYROLA_FET_CALL*)(int32_t address, int32_t length);
using ErrorNumberFn = int32_t(PYROLA_FET_CALL*)();
using ErrorStringFn = const char*(PYROLA_FET_CALL*)(int32_t number);

// Entry-point names in resolution order.
inline constexpr const char* kEntryPointNames[13] = {
    "MSP430_Initialize", "MSP430_Close",        "MSP430_Identify",    "MSP430_Device", "MSP430_Configure",
    "MSP430_VCC",        "MSP430_Reset",        "MSP430_Erase",       "MSP430_Memory", "MSP430_VerifyMem",
    "MSP430_EraseCheck", "MSP430_Error_Number", "MSP430_Error_String"};
} // namespace fet

class FetAdapter : public TargetAdapter {
public:
    // Loads the library of this platform (or $PYROLA_FET_LIBRARY) through `loader`. Every
    // call into the library runs under `guard`: a fault raised inside it throws
    // AdapterFault, and the library is not called again in this process.
    explicit FetAdapter(LibraryLoader& loader, FaultGuard& guard = NoFaultGuard());
    FetAdapter(LibraryLoader& loader, std::string libraryName, FaultGuard& guard = NoFaultGuard());

    // The name the adapter loads when nobody names another one.
    static std::string DefaultLibraryName();

    const char* GetName() override { return "FET"; }
    uint32_t GetBlockSize() override { return 256; }
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
    int32_t DebugOneWire() override { return -1; }

    // True when the library was loaded and all thirteen entry points resolved.
    bool LibraryReady() const { return libraryReady_; }
    const std::string& LibraryName() const { return libraryName_; }

    // A call into the library raised a fault earlier in this run.
    bool LibraryFaulted() const { return faulted_; }

private:
    // Runs one entry point under the guard; a fault makes the library unusable and throws.
    template <typename F> auto Guarded(const char* entryPoint, F&& call) -> decltype(call());
    [[noreturn]] void Faulted(const char* entryPoint, FaultKind fault);
    void LoadEntryPoints();
    // The file the library was loaded from, or the name asked for when the loader cannot tell.
    std::string LoadedPath() const;
    void ForgetEntryPoints();

    LibraryLoader& loader_;
    FaultGuard& guard_;
    std::string libraryName_;
    // GetErrorText's texts while the library cannot be called.
    std::string missingText_;
    std::string faultedText_;
    bool faulted_ = false;
    std::unique_ptr<DynamicLibrary> library_;
    bool libraryReady_ = false;
    // Why the last load left the library unusable, for the log.
    std::string loadProblem_;

    fet::InitializeFn initialize_ = nullptr;
    fet::CloseFn close_ = nullptr;
    fet::IdentifyFn identify_ = nullptr;
    fet::DeviceFn device_ = nullptr;
    fet::ConfigureFn configure_ = nullptr;
    fet::VccFn vcc_ = nullptr;
    fet::ResetFn reset_ = nullptr;
    fet::EraseFn erase_ = nullptr;
    fet::MemoryFn memory_ = nullptr;
    fet::VerifyMemFn verifyMem_ = nullptr;
    fet::EraseCheckFn eraseCheck_ = nullptr;
    fet::ErrorNumberFn errorNumber_ = nullptr;
    fet::ErrorStringFn errorString_ = nullptr;
};

} // namespace pyrola
