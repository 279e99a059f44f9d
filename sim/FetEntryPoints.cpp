#include "sim/FetEntryPoints.h"

#include <cstring>
#include <memory>
#include <mutex>

namespace pyrola::sim::fetlib {

namespace {

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

std::unique_ptr<FetTarget>& Slot() {
    static std::unique_ptr<FetTarget> target = std::make_unique<FetTarget>();
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

class InProcessLibrary : public DynamicLibrary {
public:
    void* Symbol(const char* name) override {
        static const Entry entries[] = {
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
        for (const Entry& entry : entries) {
            if (std::strcmp(entry.name, name) == 0) {
                return entry.address;
            }
        }
        return nullptr;
    }
};

class InProcessLoader : public LibraryLoader {
public:
    std::unique_ptr<DynamicLibrary> Load(const std::string&) override {
        return std::make_unique<InProcessLibrary>();
    }
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
    return FetTarget::ErrorString(number);
}

void ResetTarget(FetTarget::Environment environment) {
    std::lock_guard<std::mutex> guard(Lock());
    Slot() = std::make_unique<FetTarget>(std::move(environment));
}

void WithModel(const std::function<void(DeviceModel*)>& inspect) {
    std::lock_guard<std::mutex> guard(Lock());
    inspect(Slot()->Model());
}

LibraryLoader& InProcessFetLoader() {
    static InProcessLoader loader;
    return loader;
}

} // namespace pyrola::sim::fetlib
