#pragma once
// The adapter that drives a target through the FET interface library, loaded at run
// time by name: "MSP430.dll" on Windows, "libmsp430.so" on Linux, "libmsp430.dylib" on
// macOS, or the file that $PYROLA_FET_LIBRARY names. Operations are forwarded to the
// library's entry points almost one to one. What the library exports decides the
// generation (FetLibraryCalls.h): the version-3 names first, else the thirteen of
// version 2; a library that is missing, or has neither set, is looked for again at every
// Open.
//
// Version 3 reaches a FET by the name the library enumerates: port N is the N-th FET it
// lists, unless $PYROLA_FETn names one outright (as $PYROLA_COMn does for a serial port).

#include "adapters/TargetAdapter.h"
#include "adapters/fet/FetLibraryCalls.h"
#include "platform/DynamicLibrary.h"
#include "platform/FaultGuard.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pyrola {

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

    // True when the library was loaded and all the entry points of one generation resolved.
    bool LibraryReady() const { return libraryReady_; }
    // 3 or 2 while the library is ready, else 0.
    int Generation() const { return libraryReady_ ? generation_ : 0; }

    // The FETs a version-3 library enumerates, in its order (port 1 is the first); empty
    // for a version-2 library or none.
    std::vector<std::string> ListFets();
    // Updates the firmware of the FET that portNumber reaches, as MSP430_Initialize asks
    // when it reports version -1. False with the reason in GetErrorText(GetErrorNumber()).
    [[nodiscard]] bool UpdateFirmware();
    // The command that updates the firmware of the FET on this port.
    std::string FirmwareUpdateCommand() const;
    // The FET needed a firmware update at the last Open.
    bool FirmwareUpdateNeeded() const { return firmwareUpdateNeeded_; }
    // The name of that FET, as the library lists it.
    const std::string& FirmwareFetName() const { return firmwareFetName_; }
    // The error number under which the adapter reports a failure of its own.
    static constexpr int32_t kAdapterErrorNumber = 0x7FFF0001;
    const std::string& LibraryName() const { return libraryName_; }

    // A call into the library raised a fault earlier in this run.
    bool LibraryFaulted() const { return faulted_; }

private:
    // Runs one entry point under the guard; a fault makes the library unusable and throws.
    template <typename F> auto Guarded(const char* entryPoint, F&& call) -> decltype(call());
    [[noreturn]] void Faulted(const char* entryPoint, FaultKind fault);
    void LoadEntryPoints();
    bool ResolveThree(DynamicLibrary& lib);
    bool ResolveTwo(DynamicLibrary& lib, const char*& missing);
    // The names of `names` the library lacks, comma-separated.
    std::string MissingNames(const char* const* names, size_t count);
    bool OpenTwo(const std::string& port);
    bool OpenThree();
    // The FET name portNumber stands for; false with the reason set.
    bool FetName(std::string& name);
    // Ends a version-3 attach that failed after MSP430_Initialize: keeps the library's
    // error number, closes, returns false.
    bool FailAfterInitialize();
    bool Fail(std::string reason);
    // The file the library was loaded from, or the name asked for when the loader cannot tell.
    std::string LoadedPath() const;
    void ForgetEntryPoints();

    LibraryLoader& loader_;
    FaultGuard& guard_;
    std::string libraryName_;
    // GetErrorText's texts while the library cannot be called.
    std::string missingText_;
    std::string faultedText_;
    std::string unusableText_;
    std::string wrongArchitectureText_;
    bool wrongArchitecture_ = false; // the last load met a library built for 32 bits
    // A failure of the adapter's own (GetErrorText(kAdapterErrorNumber)); empty when none.
    std::string ownError_;
    // The library's number read before a closing call could clear it; -1 when none.
    int32_t keptError_ = -1;
    int generation_ = 0;
    bool firmwareUpdateNeeded_ = false;
    std::string firmwareFetName_;
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
    fet::GetNumberOfUsbIfsFn numberOfUsbIfs_ = nullptr;
    fet::GetNameOfUsbIfFn nameOfUsbIf_ = nullptr;
    fet::OpenDeviceFn openDevice_ = nullptr;
    fet::GetFoundDeviceFn foundDevice_ = nullptr;
    fet::FwUpdateFn fwUpdate_ = nullptr;
};

// Both source files of the adapter call the library through this.
template <typename F> auto FetAdapter::Guarded(const char* entryPoint, F&& call) -> decltype(call()) {
    decltype(call()) result{};
    const FaultKind fault = guard_.RunCallable([&] { result = call(); });
    if (fault != FaultKind::None)
        Faulted(entryPoint, fault);
    return result;
}

} // namespace pyrola
