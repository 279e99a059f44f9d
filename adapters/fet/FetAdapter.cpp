#include "adapters/fet/FetAdapter.h"

#include "adapters/AdapterFault.h"
#include "base/TextFormat.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>

namespace pyrola {

namespace {

constexpr uint32_t kCloseResetMethod = kResetDebugInterface | kResetLine | kResetSupplyCycle;

template <typename Fn> bool Resolve(DynamicLibrary& library, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(library.Symbol(name));
    return slot != nullptr;
}

int32_t Arg(uint32_t value) {
    return static_cast<int32_t>(value);
}

// A load that failed because the file is a 32-bit library (the version-2 MSP430.DLL
// exists only so) while this program is 64-bit.
bool WrongArchitecture(const std::string& reason) {
    return reason.find("ELFCLASS32") != std::string::npos ||
           reason.find("wrong architecture") != std::string::npos ||
           reason.find("another architecture") != std::string::npos;
}

} // namespace

std::string FetAdapter::DefaultLibraryName() {
    const char* named = std::getenv("PYROLA_FET_LIBRARY");
    if (named != nullptr && named[0] != '\0') {
        return named;
    }
#if defined(_WIN32)
    return "MSP430.dll"; // Windows matches file names without regard to case: MSP430.DLL too
#elif defined(__APPLE__)
    return "libmsp430.dylib";
#else
    return "libmsp430.so";
#endif
}

FetAdapter::FetAdapter(LibraryLoader& loader, FaultGuard& guard)
    : FetAdapter(loader, DefaultLibraryName(), guard) {}

FetAdapter::FetAdapter(LibraryLoader& loader, std::string libraryName, FaultGuard& guard)
    : loader_(loader), guard_(guard), libraryName_(std::move(libraryName)) {
#if defined(_WIN32)
    const std::string shown = "msp430.dll";
#else
    // Named as it is loaded here, so nobody looks for a Windows file on Linux.
    const std::string shown = libraryName_;
#endif
    missingText_ = shown + " not found";
    faultedText_ = shown + " raised a fault; restart the program";
    unusableText_ = shown + " is not a FET library Pyrola can use";
    wrongArchitectureText_ = shown + " is a 32-bit library, which this 64-bit Pyrola cannot load";
    LoadEntryPoints();
}

void FetAdapter::Faulted(const char* entryPoint, FaultKind fault) {
    // The library's own state (and whatever it held locked) is lost: nothing calls into it
    // again, the closing reset included.
    const std::string text =
        Format("%s inside %s of the FET library %s", FaultKindText(fault), entryPoint, LoadedPath().c_str());
    faulted_ = true;
    isOpen = 0;
    libraryReady_ = false;
    ForgetEntryPoints();
    AddNote(text);
    throw AdapterFault(text);
}

void FetAdapter::ForgetEntryPoints() {
    initialize_ = nullptr;
    close_ = nullptr;
    identify_ = nullptr;
    device_ = nullptr;
    configure_ = nullptr;
    vcc_ = nullptr;
    reset_ = nullptr;
    erase_ = nullptr;
    memory_ = nullptr;
    verifyMem_ = nullptr;
    eraseCheck_ = nullptr;
    errorNumber_ = nullptr;
    errorString_ = nullptr;
    numberOfUsbIfs_ = nullptr;
    nameOfUsbIf_ = nullptr;
    openDevice_ = nullptr;
    foundDevice_ = nullptr;
    fwUpdate_ = nullptr;
    generation_ = 0;
}

void FetAdapter::LoadEntryPoints() {
    libraryReady_ = false;
    generation_ = 0;
    wrongArchitecture_ = false;
    library_ = loader_.Load(libraryName_);
    if (!library_) {
        const std::string reason = loader_.LastError();
        loadProblem_ = Format("FET library \"%s\" could not be loaded: %s", libraryName_.c_str(),
                              reason.empty() ? "not found" : reason.c_str());
        wrongArchitecture_ = WrongArchitecture(reason);
        if (wrongArchitecture_)
            loadProblem_ += "\nIt is a 32-bit library and this Pyrola is 64-bit: the version-2 MSP430.DLL "
                            "exists only for 32-bit programs; install the vendor's version-3 library (MSP "
                            "Debug Stack) instead";
        return;
    }
    DynamicLibrary& lib = *library_;
    loadProblem_.clear();
    // The version-3 names first: a library of the 3.x line before 3.2.5.4 still exports
    // MSP430_Identify as well, but its FETs are reached by name.
    if (ResolveThree(lib)) {
        generation_ = 3;
        libraryReady_ = true;
        return;
    }
    ForgetEntryPoints();
    const char* missing = nullptr;
    if (ResolveTwo(lib, missing)) {
        generation_ = 2;
        libraryReady_ = true;
        return;
    }
    // Neither generation: say what each lacks.
    const std::string lacksTwo = MissingNames(fet::kEntryPointNames, std::size(fet::kEntryPointNames));
    const std::string lacksThree =
        MissingNames(fet::kEntryPointNamesThree, std::size(fet::kEntryPointNamesThree));
    loadProblem_ = Format("FET library \"%s\" lacks the entry point %s", LoadedPath().c_str(), missing);
    loadProblem_ += Format("\nFor a version-2 FET library it lacks %s; for a version-3 one, %s",
                           lacksTwo.c_str(), lacksThree.c_str());
}

bool FetAdapter::ResolveThree(DynamicLibrary& lib) {
    const char* const* n = fet::kEntryPointNamesThree;
    return Resolve(lib, n[0], numberOfUsbIfs_) && Resolve(lib, n[1], nameOfUsbIf_) &&
           Resolve(lib, n[2], initialize_) && Resolve(lib, n[3], close_) && Resolve(lib, n[4], openDevice_) &&
           Resolve(lib, n[5], foundDevice_) && Resolve(lib, n[6], configure_) && Resolve(lib, n[7], vcc_) &&
           Resolve(lib, n[8], reset_) && Resolve(lib, n[9], erase_) && Resolve(lib, n[10], memory_) &&
           Resolve(lib, n[11], verifyMem_) && Resolve(lib, n[12], eraseCheck_) &&
           Resolve(lib, n[13], errorNumber_) && Resolve(lib, n[14], errorString_) &&
           Resolve(lib, n[15], fwUpdate_);
}

bool FetAdapter::ResolveTwo(DynamicLibrary& lib, const char*& missing) {
    // In a fixed order; the first missing name stops the walk and the
    // names resolved before it stay usable (the error entry points among them).
    const char* const* n = fet::kEntryPointNames;
    auto take = [&lib, &missing](const char* name, auto& slot) {
        if (Resolve(lib, name, slot))
            return true;
        missing = name;
        return false;
    };
    return take(n[0], initialize_) && take(n[1], close_) && take(n[2], identify_) && take(n[3], device_) &&
           take(n[4], configure_) && take(n[5], vcc_) && take(n[6], reset_) && take(n[7], erase_) &&
           take(n[8], memory_) && take(n[9], verifyMem_) && take(n[10], eraseCheck_) &&
           take(n[11], errorNumber_) && take(n[12], errorString_);
}

std::string FetAdapter::MissingNames(const char* const* names, size_t count) {
    std::string list;
    for (size_t i = 0; i < count; ++i) {
        if (library_->Symbol(names[i]) == nullptr)
            list += (list.empty() ? "" : ", ") + std::string(names[i]);
    }
    return list;
}

std::string FetAdapter::LoadedPath() const {
    std::string path = library_ ? library_->Path() : std::string();
    return path.empty() ? libraryName_ : path;
}

bool FetAdapter::Open() {
    const std::string port = Format("%d", static_cast<int>(portNumber));
    ownError_.clear();
    keptError_ = -1;
    firmwareUpdateNeeded_ = false;
    if (faulted_) {
        AddNote(Format("FET library %s raised a fault earlier in this run and is not called again",
                       LoadedPath().c_str()));
        isOpen = 0;
        return false;
    }
    if (!libraryReady_) {
        ForgetEntryPoints();
        LoadEntryPoints();
        if (!libraryReady_) {
            // One note per line: the problem, then what would mend it.
            size_t begin = 0;
            while (begin < loadProblem_.size()) {
                const size_t end = std::min(loadProblem_.find('\n', begin), loadProblem_.size());
                AddNote(loadProblem_.substr(begin, end - begin));
                begin = end + 1;
            }
            isOpen = 0;
            return false;
        }
    }
    if (deviceRecord == nullptr) {
        // Nothing to identify into; no library call can succeed without it.
        AddNote(Format("FET library: %s", LoadedPath().c_str()));
        isOpen = 0;
        return false;
    }
    return generation_ == 3 ? OpenThree() : OpenTwo(port);
}

bool FetAdapter::OpenTwo(const std::string& port) {
    int32_t version = 0;
    DeviceRecord& record = *deviceRecord;
    const bool initialized =
        Guarded("MSP430_Initialize", [&] { return initialize_(port.c_str(), &version); }) == 0;
    // Which file answers matters: a simulated library must never pass for a real one.
    AddNote(initialized
                ? Format("FET library: %s (version 2), version %d", LoadedPath().c_str(), int(version))
                : Format("FET library: %s (version 2)", LoadedPath().c_str()));
    if (!initialized || Guarded("MSP430_VCC", [&] { return vcc_(record.supplyMillivolts); }) != 0 ||
        Guarded("MSP430_Identify",
                [&] {
                    return identify_(reinterpret_cast<uint8_t*>(&record),
                                     static_cast<int32_t>(kDeviceRecordSize), 0);
                }) != 0 ||
        Guarded("MSP430_Configure", [&] { return configure_(0, 1); }) != 0) {
        isOpen = 0;
        return false;
    }
    // Some library versions leave these two bounds empty.
    if (record.infoEnd == 0) {
        record.infoEnd =
            static_cast<uint16_t>(record.infoStart + ((record.infoStart & 0xFF) != 0 ? 127 : 255));
    }
    if (record.mainEnd == 0) {
        record.mainEnd = 0xFFFF;
    }
    isOpen = 1;
    return true;
}

bool FetAdapter::Close() {
    if (!isOpen) {
        return true;
    }
    Reset(kCloseResetMethod, 1, 1);
    int32_t result = close_ != nullptr ? Guarded("MSP430_Close", [&] { return close_(0); }) : -1;
    isOpen = 0;
    return result == 0;
}

int32_t FetAdapter::GetErrorNumber() {
    if (!ownError_.empty())
        return kAdapterErrorNumber;
    if (keptError_ >= 0)
        return std::exchange(keptError_, -1);
    return errorNumber_ != nullptr ? Guarded("MSP430_Error_Number", [&] { return errorNumber_(); }) : 0;
}

const char* FetAdapter::GetErrorText(int32_t number) {
    if (number == kAdapterErrorNumber && !ownError_.empty())
        return ownError_.c_str();
    if (errorString_ == nullptr) {
        if (faulted_)
            return faultedText_.c_str();
        // A file that was found but exports neither set is not "not found".
        if (wrongArchitecture_)
            return wrongArchitectureText_.c_str();
        return library_ ? unusableText_.c_str() : missingText_.c_str();
    }
    return Guarded("MSP430_Error_String", [&] { return errorString_(number); });
}

int32_t FetAdapter::Erase(uint32_t mode, uint32_t address, uint32_t length) {
    return erase_ != nullptr
               ? Guarded("MSP430_Erase", [&] { return erase_(Arg(mode), Arg(address), Arg(length)); })
               : -1;
}

int32_t FetAdapter::EraseCheck(uint32_t address, uint32_t length) {
    return eraseCheck_ != nullptr
               ? Guarded("MSP430_EraseCheck", [&] { return eraseCheck_(Arg(address), Arg(length)); })
               : -1;
}

int32_t FetAdapter::WriteMemory(uint32_t address, const uint8_t* data, uint32_t count) {
    // The library takes one buffer for both directions; it does not write to it here.
    return memory_ != nullptr
               ? Guarded("MSP430_Memory",
                         [&] { return memory_(Arg(address), const_cast<uint8_t*>(data), Arg(count), 0); })
               : -1;
}

int32_t FetAdapter::ReadMemory(uint32_t address, uint8_t* data, uint32_t count) {
    return memory_ != nullptr
               ? Guarded("MSP430_Memory", [&] { return memory_(Arg(address), data, Arg(count), 1); })
               : -1;
}

int32_t FetAdapter::VerifyMemory(uint32_t address, const uint8_t* data, uint32_t count) {
    return verifyMem_ != nullptr
               ? Guarded("MSP430_VerifyMem", [&] { return verifyMem_(Arg(address), Arg(count), data); })
               : -1;
}

int32_t FetAdapter::Reset(uint32_t method, uint32_t execute, uint32_t releaseJtag) {
    return reset_ != nullptr
               ? Guarded("MSP430_Reset", [&] { return reset_(Arg(method), Arg(execute), Arg(releaseJtag)); })
               : -1;
}

} // namespace pyrola
