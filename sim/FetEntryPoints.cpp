#include "sim/FetEntryPoints.h"

#include <chrono>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

namespace pyrola::sim::fetlib {

namespace {

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

void RealSleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

FetGeneration& CurrentGeneration() {
    static FetGeneration generation = FetGeneration::Two;
    return generation;
}

std::unique_ptr<FetTarget> NewTarget(FetTarget::Environment environment) {
    return std::make_unique<FetTarget>(std::move(environment), FetTarget::Sleeper(RealSleep),
                                       CurrentGeneration());
}

std::unique_ptr<FetTarget>& Slot() {
    static std::unique_ptr<FetTarget> target = NewTarget(ProcessEnvironment);
    return target;
}

template <typename Call> auto Locked(Call call) {
    std::lock_guard<std::mutex> guard(Lock());
    return call(*Slot());
}

struct Entry {
    const char* name;
    void* address;
};

template <typename Fn> void* Address(Fn fn) {
    return reinterpret_cast<void*>(fn);
}

struct Entries {
    const Entry* begin;
    const Entry* end;
};

// What each build exports: both share the memory calls; only version 2 has
// MSP430_Identify, only version 3 the interface list, MSP430_OpenDevice and the update.
Entries EntriesOf(FetGeneration generation) {
    static const Entry two[] = {
        {"MSP430_Initialize", Address(&Initialize)},
        {"MSP430_Close", Address(&Close)},
        {"MSP430_Identify", Address(&Identify)},
        {"MSP430_Device", Address(&Device)},
        {"MSP430_Configure", Address(&Configure)},
        {"MSP430_VCC", Address(&Vcc)},
        {"MSP430_Reset", Address(&Reset)},
        {"MSP430_Erase", Address(&Erase)},
        {"MSP430_Memory", Address(&Memory)},
        {"MSP430_VerifyMem", Address(&VerifyMem)},
        {"MSP430_EraseCheck", Address(&EraseCheck)},
        {"MSP430_Error_Number", Address(&ErrorNumber)},
        {"MSP430_Error_String", Address(&ErrorString)},
    };
    static const Entry three[] = {
        {"MSP430_GetNumberOfUsbIfs", Address(&GetNumberOfUsbIfs)},
        {"MSP430_GetNameOfUsbIf", Address(&GetNameOfUsbIf)},
        {"MSP430_Initialize", Address(&Initialize)},
        {"MSP430_Close", Address(&Close)},
        {"MSP430_OpenDevice", Address(&OpenDevice)},
        {"MSP430_GetFoundDevice", Address(&GetFoundDevice)},
        {"MSP430_Configure", Address(&Configure)},
        {"MSP430_VCC", Address(&Vcc)},
        {"MSP430_Reset", Address(&Reset)},
        {"MSP430_Erase", Address(&Erase)},
        {"MSP430_Memory", Address(&Memory)},
        {"MSP430_VerifyMem", Address(&VerifyMem)},
        {"MSP430_EraseCheck", Address(&EraseCheck)},
        {"MSP430_Error_Number", Address(&ErrorNumber)},
        {"MSP430_Error_String", Address(&ErrorString)},
        {"MSP430_FET_FwUpdate", Address(&FwUpdate)},
    };
    if (generation == FetGeneration::Three)
        return {std::begin(three), std::end(three)};
    return {std::begin(two), std::end(two)};
}

class InProcessLibrary : public DynamicLibrary {
public:
    explicit InProcessLibrary(FetGeneration generation) : generation_(generation) {}
    void* Symbol(const char* name) override {
        const Entries entries = EntriesOf(generation_);
        for (const Entry* entry = entries.begin; entry != entries.end; ++entry) {
            if (std::strcmp(entry->name, name) == 0) {
                return entry->address;
            }
        }
        return nullptr;
    }

private:
    FetGeneration generation_;
};

class InProcessLoader : public LibraryLoader {
public:
    explicit InProcessLoader(FetGeneration generation) : generation_(generation) {}
    std::unique_ptr<DynamicLibrary> Load(const std::string&) override {
        UseGeneration(generation_);
        return std::make_unique<InProcessLibrary>(generation_);
    }

private:
    FetGeneration generation_;
};

} // namespace

int32_t Initialize(const char* port, int32_t* version) {
    return Locked([&](FetTarget& t) { return t.Initialize(port, version); });
}
int32_t Close(int32_t vccOff) {
    return Locked([&](FetTarget& t) { return t.Close(vccOff); });
}
int32_t Identify(uint8_t* record, int32_t size, int32_t setId) {
    return Locked([&](FetTarget& t) { return t.Identify(record, size, setId); });
}
int32_t Device(int32_t index, uint8_t* record, int32_t size) {
    return Locked([&](FetTarget& t) { return t.Device(index, record, size); });
}
int32_t Configure(int32_t mode, int32_t value) {
    return Locked([&](FetTarget& t) { return t.Configure(mode, value); });
}
int32_t Vcc(int32_t millivolts) {
    return Locked([&](FetTarget& t) { return t.Vcc(millivolts); });
}
int32_t Reset(int32_t method, int32_t execute, int32_t releaseJtag) {
    return Locked([&](FetTarget& t) { return t.Reset(method, execute, releaseJtag); });
}
int32_t Erase(int32_t mode, int32_t address, int32_t length) {
    return Locked([&](FetTarget& t) { return t.Erase(mode, address, length); });
}
int32_t Memory(int32_t address, uint8_t* buffer, int32_t count, int32_t read) {
    return Locked([&](FetTarget& t) { return t.Memory(address, buffer, count, read); });
}
int32_t VerifyMem(int32_t address, int32_t count, const uint8_t* data) {
    return Locked([&](FetTarget& t) { return t.VerifyMem(address, count, data); });
}
int32_t EraseCheck(int32_t address, int32_t length) {
    return Locked([&](FetTarget& t) { return t.EraseCheck(address, length); });
}
int32_t ErrorNumber() {
    return Locked([](FetTarget& t) { return t.ErrorNumber(); });
}
const char* ErrorString(int32_t number) {
    // The texts are constant; no lock, as the library's own texts need none.
    return Slot()->ErrorText(number);
}
int32_t GetNumberOfUsbIfs(int32_t* number) {
    return Locked([&](FetTarget& t) { return t.GetNumberOfUsbIfs(number); });
}
int32_t GetNameOfUsbIf(int32_t index, char** name, int32_t* status) {
    return Locked([&](FetTarget& t) { return t.GetNameOfUsbIf(index, name, status); });
}
int32_t OpenDevice(const char* device, const char* password, int32_t passwordLength, int32_t deviceCode,
                   int32_t setId) {
    return Locked(
        [&](FetTarget& t) { return t.OpenDevice(device, password, passwordLength, deviceCode, setId); });
}
int32_t GetFoundDevice(uint8_t* buffer, int32_t count) {
    return Locked([&](FetTarget& t) { return t.GetFoundDevice(buffer, count); });
}
int32_t FwUpdate(const char* file, void* callback, int32_t clientHandle) {
    return Locked([&](FetTarget& t) { return t.FwUpdate(file, callback, clientHandle); });
}

void UseGeneration(FetGeneration generation) {
    std::lock_guard<std::mutex> guard(Lock());
    if (CurrentGeneration() == generation && Slot()->Generation() == generation)
        return;
    CurrentGeneration() = generation;
    Slot() = NewTarget(ProcessEnvironment);
}

void ResetTarget(FetTarget::Environment environment) {
    std::lock_guard<std::mutex> guard(Lock());
    Slot() = NewTarget(std::move(environment));
}

void WithModel(const std::function<void(DeviceModel*)>& inspect) {
    std::lock_guard<std::mutex> guard(Lock());
    inspect(Slot()->Model());
}

LibraryLoader& InProcessFetLoader(FetGeneration generation) {
    static InProcessLoader two(FetGeneration::Two);
    static InProcessLoader three(FetGeneration::Three);
    return generation == FetGeneration::Three ? three : two;
}

} // namespace pyrola::sim::fetlib
