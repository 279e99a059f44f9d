#include "adapters/fet/FetAdapter.h"
#include "adapters/AdapterFault.h"
#include "sim/SimEnvironment.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace pyrola {
namespace {

// The library is named as it is loaded: the vendor's DLL name on Windows, the file given
// elsewhere.
#if defined(_WIN32)
constexpr const char* kMissingText = "msp430.dll not found";
constexpr const char* kUnusableText = "msp430.dll is not a FET library Pyrola can use";
constexpr const char* kWrongArchitectureText =
    "msp430.dll is a 32-bit library, which this 64-bit Pyrola cannot load";
constexpr const char* kFaultedText = "msp430.dll raised a fault; restart the program";
#else
constexpr const char* kMissingText = "libfake.so not found";
constexpr const char* kUnusableText = "libfake.so is not a FET library Pyrola can use";
constexpr const char* kWrongArchitectureText =
    "libfake.so is a 32-bit library, which this 64-bit Pyrola cannot load";
constexpr const char* kFaultedText = "libfake.so raised a fault; restart the program";
#endif

// Every call the fake library receives, as "Name(arg,arg,...)", plus scripted results.
struct Recorder {
    std::vector<std::string> calls;
    std::map<std::string, int32_t> results; // by entry name; 0 when absent
    uint16_t identifyInfoStart = 0x1000;
    uint16_t identifyInfoEnd = 0;
    uint32_t identifyMainEnd = 0;
    const uint8_t* lastData = nullptr;
    uint8_t* lastBuffer = nullptr;

    int32_t Result(const std::string& name) {
        auto it = results.find(name);
        return it == results.end() ? 0 : it->second;
    }
    int32_t Log(const std::string& name, const std::string& args) {
        calls.push_back(name + "(" + args + ")");
        return Result(name);
    }
};

Recorder* recorder = nullptr;
// The fake entry point of this name raises an access fault, as a closed library may.
std::string gFaultIn;
volatile int* volatile gNowhere = nullptr;

__attribute__((no_sanitize("undefined"))) void MaybeFault(const char* name) {
    if (gFaultIn == name)
        *gNowhere = 1;
}

std::string Args(std::initializer_list<long long> values) {
    std::string text;
    for (long long v : values) {
        text += (text.empty() ? "" : ",") + std::to_string(v);
    }
    return text;
}

int32_t FakeInitialize(const char* port, int32_t* version) {
    *version = 1; // the adapter must hand a writable output
    return recorder->Log("Initialize", port);
}
int32_t FakeClose(int32_t off) {
    return recorder->Log("Close", Args({off}));
}
int32_t FakeIdentify(uint8_t* record, int32_t size, int32_t setId) {
    DeviceRecord r;
    std::memcpy(&r, record, sizeof r);
    r.marker = kDeviceRecordMarker;
    r.index = 7;
    std::strcpy(r.name, "MSP430F149");
    r.mainStart = 0x1100;
    r.infoStart = recorder->identifyInfoStart;
    r.infoEnd = recorder->identifyInfoEnd;
    r.mainEnd = recorder->identifyMainEnd;
    std::memcpy(record, &r, sizeof r);
    return recorder->Log("Identify", Args({size, setId}));
}
int32_t FakeDevice(int32_t, uint8_t*, int32_t) {
    return recorder->Log("Device", "");
}
int32_t FakeConfigure(int32_t mode, int32_t value) {
    return recorder->Log("Configure", Args({mode, value}));
}
int32_t FakeVcc(int32_t mv) {
    return recorder->Log("VCC", Args({mv}));
}
int32_t FakeReset(int32_t method, int32_t execute, int32_t release) {
    MaybeFault("Reset");
    return recorder->Log("Reset", Args({method, execute, release}));
}
int32_t FakeErase(int32_t mode, int32_t address, int32_t length) {
    MaybeFault("Erase");
    return recorder->Log("Erase", Args({mode, address, length}));
}
int32_t FakeMemory(int32_t address, uint8_t* buffer, int32_t count, int32_t read) {
    recorder->lastBuffer = buffer;
    return recorder->Log("Memory", Args({address, count, read}));
}
int32_t FakeVerifyMem(int32_t address, int32_t count, const uint8_t* data) {
    recorder->lastData = data;
    return recorder->Log("VerifyMem", Args({address, count}));
}
int32_t FakeEraseCheck(int32_t address, int32_t length) {
    return recorder->Log("EraseCheck", Args({address, length}));
}
int32_t FakeErrorNumber() {
    return recorder->Log("Error_Number", "");
}
const char* FakeErrorString(int32_t number) {
    recorder->Log("Error_String", Args({number}));
    return "fake error text";
}

template <typename Fn> void* Ptr(Fn fn) {
    return reinterpret_cast<void*>(fn);
}

const std::map<std::string, void*>& AllEntries() {
    static const std::map<std::string, void*> entries = {
        {"MSP430_Initialize", Ptr(&FakeInitialize)},
        {"MSP430_Close", Ptr(&FakeClose)},
        {"MSP430_Identify", Ptr(&FakeIdentify)},
        {"MSP430_Device", Ptr(&FakeDevice)},
        {"MSP430_Configure", Ptr(&FakeConfigure)},
        {"MSP430_VCC", Ptr(&FakeVcc)},
        {"MSP430_Reset", Ptr(&FakeReset)},
        {"MSP430_Erase", Ptr(&FakeErase)},
        {"MSP430_Memory", Ptr(&FakeMemory)},
        {"MSP430_VerifyMem", Ptr(&FakeVerifyMem)},
        {"MSP430_EraseCheck", Ptr(&FakeEraseCheck)},
        {"MSP430_Error_Number", Ptr(&FakeErrorNumber)},
        {"MSP430_Error_String", Ptr(&FakeErrorString)},
    };
    return entries;
}

class FakeLibrary : public DynamicLibrary {
public:
    FakeLibrary(std::set<std::string> missing, std::vector<std::string>* lookups)
        : missing_(std::move(missing)), lookups_(lookups) {}
    void* Symbol(const char* name) override {
        lookups_->push_back(name);
        if (missing_.count(name) != 0) {
            return nullptr;
        }
        auto it = AllEntries().find(name);
        return it == AllEntries().end() ? nullptr : it->second;
    }

private:
    std::set<std::string> missing_;
    std::vector<std::string>* lookups_;
};

// Loads FakeLibrary while `present`, with the entry points of `missing` left out.
class FakeLoader : public LibraryLoader {
public:
    std::unique_ptr<DynamicLibrary> Load(const std::string& name) override {
        loads.push_back(name);
        if (!present) {
            return nullptr;
        }
        return std::make_unique<FakeLibrary>(missing, &lookups);
    }
    std::string LastError() override { return present ? "" : loadError; }
    std::string loadError = "libfake.so: cannot open shared object file";
    bool present = true;
    std::set<std::string> missing;
    std::vector<std::string> loads;
    std::vector<std::string> lookups;
};

class FetAdapterTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder = &rec;
        record.supplyMillivolts = 3600;
    }
    void TearDown() override {
        recorder = nullptr;
        gFaultIn.clear();
    }
    std::unique_ptr<FetAdapter> Make() {
        auto adapter = std::make_unique<FetAdapter>(loader, "libfake.so");
        adapter->deviceRecord = &record;
        return adapter;
    }
    Recorder rec;
    FakeLoader loader;
    DeviceRecord record;
};

TEST_F(FetAdapterTest, ResolvesAllThirteenNamesInOrderAndOpensWithTheStartUpSequence) {
    auto fet = Make();
    EXPECT_TRUE(fet->LibraryReady());
    EXPECT_EQ(loader.loads, std::vector<std::string>{"libfake.so"});
    // The version-3 names are looked for first; the walk stops at the first one missing,
    // then the thirteen of version 2 follow in order.
    std::vector<std::string> expected{fet::kEntryPointNamesThree[0]};
    expected.insert(expected.end(), std::begin(fet::kEntryPointNames), std::end(fet::kEntryPointNames));
    EXPECT_EQ(loader.lookups, expected);
    EXPECT_EQ(fet->Generation(), 2);
    EXPECT_STREQ(fet->GetName(), "FET");
    EXPECT_EQ(fet->GetBlockSize(), 256u);

    fet->portNumber = 3;
    ASSERT_TRUE(fet->Open());
    EXPECT_EQ(fet->isOpen, 1);
    EXPECT_EQ(rec.calls,
              (std::vector<std::string>{"Initialize(3)", "VCC(3600)", "Identify(104,0)", "Configure(0,1)"}));
    EXPECT_STREQ(record.name, "MSP430F149");
    EXPECT_EQ(record.supplyMillivolts, 3600); // the library's fill keeps the other fields

    rec.calls.clear();
    EXPECT_TRUE(fet->Close());
    EXPECT_EQ(fet->isOpen, 0);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"Reset(7,1,1)", "Close(0)"}));
}

TEST_F(FetAdapterTest, EveryStartUpFailureStopsOpenWithoutClosingTheLibrary) {
    const std::vector<std::string> steps = {"Initialize", "VCC", "Identify", "Configure"};
    for (size_t failing = 0; failing < steps.size(); ++failing) {
        SCOPED_TRACE(steps[failing]);
        rec.calls.clear();
        rec.results.clear();
        rec.results[steps[failing]] = 5;
        auto fet = Make();
        fet->isOpen = 1; // a stale flag must be cleared
        EXPECT_FALSE(fet->Open());
        EXPECT_EQ(fet->isOpen, 0);
        ASSERT_EQ(rec.calls.size(), failing + 1);
        EXPECT_EQ(rec.calls.back().rfind(steps[failing], 0), 0u);
        for (const std::string& call : rec.calls) {
            EXPECT_EQ(call.find("Close"), std::string::npos);
        }
        rec.calls.clear();
        EXPECT_TRUE(fet->Close()); // not open: nothing to release
        EXPECT_TRUE(rec.calls.empty());
    }
}

TEST_F(FetAdapterTest, CloseReportsTheLibrarysCloseResult) {
    auto fet = Make();
    ASSERT_TRUE(fet->Open());
    rec.results["Reset"] = 9; // ignored
    rec.results["Close"] = 4;
    EXPECT_FALSE(fet->Close());
    EXPECT_EQ(fet->isOpen, 0);
}

TEST_F(FetAdapterTest, EmptyBoundsGetDefaultsAndFilledOnesAreKept) {
    struct Case {
        uint16_t infoStart, infoEnd;
        uint32_t mainEnd;
        uint16_t wantInfoEnd;
        uint32_t wantMainEnd;
    };
    for (Case c : {Case{0x1000, 0, 0, 0x10FF, 0xFFFF}, Case{0x1080, 0, 0, 0x10FF, 0xFFFF},
                   Case{0xEF00, 0, 0, 0xEFFF, 0xFFFF}, Case{0x1000, 0x107F, 0xF7FF, 0x107F, 0xF7FF}}) {
        rec.identifyInfoStart = c.infoStart;
        rec.identifyInfoEnd = c.infoEnd;
        rec.identifyMainEnd = c.mainEnd;
        auto fet = Make();
        ASSERT_TRUE(fet->Open());
        EXPECT_EQ(record.infoEnd, c.wantInfoEnd);
        EXPECT_EQ(record.mainEnd, c.wantMainEnd);
    }
}

TEST_F(FetAdapterTest, ForwardsEveryOperationWithItsArgumentsInLibraryOrder) {
    auto fet = Make();
    uint8_t buffer[16] = {};
    rec.results["Erase"] = 11;
    rec.results["EraseCheck"] = 12;
    rec.results["Memory"] = 13;
    rec.results["VerifyMem"] = 14;
    rec.results["Reset"] = 15;
    rec.results["Error_Number"] = 42;
    EXPECT_EQ(fet->Erase(0, 0xF000, 512), 11);
    EXPECT_EQ(fet->EraseCheck(0x1100, 0xEF00), 12);
    EXPECT_EQ(fet->WriteMemory(0xF000, buffer, 16), 13);
    EXPECT_EQ(rec.lastBuffer, buffer);
    EXPECT_EQ(fet->ReadMemory(0x0200, buffer + 1, 15), 13);
    EXPECT_EQ(rec.lastBuffer, buffer + 1);
    EXPECT_EQ(fet->VerifyMemory(0x1000, buffer + 2, 14), 14);
    EXPECT_EQ(rec.lastData, buffer + 2);
    EXPECT_EQ(fet->Reset(4, 0, 1), 15);
    EXPECT_EQ(fet->GetErrorNumber(), 42);
    EXPECT_STREQ(fet->GetErrorText(42), "fake error text");
    EXPECT_EQ(fet->DebugOneWire(), -1);
    EXPECT_EQ(rec.calls,
              (std::vector<std::string>{"Erase(0,61440,512)", "EraseCheck(4352,61184)", "Memory(61440,16,0)",
                                        "Memory(512,15,1)", "VerifyMem(4096,14)", "Reset(4,0,1)",
                                        "Error_Number()", "Error_String(42)"}));
}

TEST_F(FetAdapterTest, MissingLibraryFailsEverythingWithoutCallsAndIsRetriedAtOpen) {
    loader.present = false;
    auto fet = Make();
    EXPECT_FALSE(fet->LibraryReady());
    EXPECT_FALSE(fet->Open());
    EXPECT_EQ(fet->isOpen, 0);
    EXPECT_EQ(loader.loads.size(), 2u); // construction and the retry in Open
    EXPECT_EQ(fet->GetErrorNumber(), 0);
    EXPECT_STREQ(fet->GetErrorText(0), kMissingText);
    EXPECT_STREQ(fet->GetErrorText(17), kMissingText);
    uint8_t buffer[4] = {};
    EXPECT_EQ(fet->Erase(1, 0x1100, 0xEF00), -1);
    EXPECT_EQ(fet->EraseCheck(0x1100, 1), -1);
    EXPECT_EQ(fet->WriteMemory(0xF000, buffer, 4), -1);
    EXPECT_EQ(fet->ReadMemory(0xF000, buffer, 4), -1);
    EXPECT_EQ(fet->VerifyMemory(0xF000, buffer, 4), -1);
    EXPECT_EQ(fet->Reset(7, 1, 1), -1);
    EXPECT_TRUE(fet->Close());
    EXPECT_TRUE(rec.calls.empty());
    // The log learns which file was tried and why the system loader refused it.
    EXPECT_EQ(fet->TakeNotes(), (std::vector<std::string>{"FET library \"libfake.so\" could not be loaded: "
                                                          "libfake.so: cannot open shared object file"}));

    // The library turns up later: the next Open finds it, and says which file answers.
    loader.present = true;
    EXPECT_TRUE(fet->Open());
    EXPECT_EQ(fet->TakeNotes(), (std::vector<std::string>{"FET library: libfake.so (version 2), version 1"}));
    EXPECT_TRUE(fet->LibraryReady());
    EXPECT_EQ(loader.loads.size(), 3u);
    // Once ready, Open does not load again.
    EXPECT_TRUE(fet->Close());
    EXPECT_TRUE(fet->Open());
    EXPECT_EQ(loader.loads.size(), 3u);
}

TEST_F(FetAdapterTest, AThirtyTwoBitLibraryGetsAPlainNote) {
    loader.present = false;
    loader.loadError = "libfake.so: wrong ELF class: ELFCLASS32";
    auto fet = Make();
    EXPECT_FALSE(fet->Open());
    const std::vector<std::string> notes = fet->TakeNotes();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1],
              "It is a 32-bit library and this Pyrola is 64-bit: the version-2 MSP430.DLL exists only "
              "for 32-bit programs; install the vendor's version-3 library (MSP Debug Stack) instead");
    EXPECT_STREQ(fet->GetErrorText(0), kWrongArchitectureText);
}

TEST_F(FetAdapterTest, LibraryLackingOnlyTheNeverCalledDeviceEntryCountsAsMissing) {
    loader.missing = {"MSP430_Device"};
    auto fet = Make();
    EXPECT_FALSE(fet->LibraryReady());
    EXPECT_EQ(fet->Generation(), 0);
    // The version-2 walk stopped at the missing name: the names after it were looked up
    // only to say what each generation lacks.
    const std::vector<std::string> walk(loader.lookups.begin(), loader.lookups.begin() + 5);
    EXPECT_EQ(walk, (std::vector<std::string>{"MSP430_GetNumberOfUsbIfs", "MSP430_Initialize", "MSP430_Close",
                                              "MSP430_Identify", "MSP430_Device"}));
    EXPECT_FALSE(fet->Open());
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_EQ(
        fet->TakeNotes(),
        (std::vector<std::string>{"FET library \"libfake.so\" lacks the entry point MSP430_Device",
                                  "For a version-2 FET library it lacks MSP430_Device; for a version-3 one, "
                                  "MSP430_GetNumberOfUsbIfs, MSP430_GetNameOfUsbIf, MSP430_OpenDevice, "
                                  "MSP430_GetFoundDevice, MSP430_FET_FwUpdate"}));
    // The file was found: not "not found".
    EXPECT_STREQ(fet->GetErrorText(3), kUnusableText);
    EXPECT_EQ(fet->GetErrorNumber(), 0);
}

TEST_F(FetAdapterTest, AFaultInsideTheLibraryThrowsAndTheLibraryIsNeverCalledAgain) {
    auto fet = std::make_unique<FetAdapter>(loader, "libfake.so", SystemFaultGuard());
    fet->deviceRecord = &record;
    ASSERT_TRUE(fet->Open());
    fet->TakeNotes();
    gFaultIn = "Erase";
    EXPECT_THROW(fet->Erase(2, 0x1100, 0xEF00), AdapterFault);
    EXPECT_TRUE(fet->LibraryFaulted());
    EXPECT_EQ(fet->isOpen, 0);
    EXPECT_EQ(fet->TakeNotes(),
              (std::vector<std::string>{"access fault inside MSP430_Erase of the FET library libfake.so"}));
    // Whatever the library held is lost: no closing reset, no further call, no reload.
    rec.calls.clear();
    gFaultIn.clear();
    EXPECT_TRUE(fet->Close());
    EXPECT_EQ(fet->Erase(2, 0x1100, 0xEF00), -1);
    EXPECT_FALSE(fet->Open());
    EXPECT_EQ(fet->GetErrorNumber(), 0);
    EXPECT_STREQ(fet->GetErrorText(0), kFaultedText);
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_EQ(loader.loads.size(), 1u);
    EXPECT_EQ(fet->TakeNotes(),
              (std::vector<std::string>{
                  "FET library libfake.so raised a fault earlier in this run and is not called again"}));
}

TEST_F(FetAdapterTest, AFaultInTheClosingResetStillThrows) {
    auto fet = std::make_unique<FetAdapter>(loader, "libfake.so", SystemFaultGuard());
    fet->deviceRecord = &record;
    ASSERT_TRUE(fet->Open());
    gFaultIn = "Reset";
    EXPECT_THROW(fet->Close(), AdapterFault);
    EXPECT_EQ(fet->isOpen, 0);
    EXPECT_TRUE(fet->LibraryFaulted());
}

TEST_F(FetAdapterTest, ErrorEntriesResolvedBeforeAMissingNameStillAnswer) {
    // Only the text entry is missing: it is the last name, so the number one resolved.
    loader.missing = {"MSP430_Error_String"};
    rec.results["Error_Number"] = 8;
    auto fet = Make();
    EXPECT_FALSE(fet->LibraryReady());
    EXPECT_EQ(fet->GetErrorNumber(), 8);
    EXPECT_STREQ(fet->GetErrorText(8), kUnusableText);
    // Open forgets the partial set before it tries again.
    EXPECT_FALSE(fet->Open());
    EXPECT_EQ(fet->GetErrorNumber(), 8);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"Error_Number()", "Error_Number()"}));
}

TEST_F(FetAdapterTest, OpenWithoutARecordFailsWithoutTouchingTheLibrary) {
    auto fet = Make();
    fet->deviceRecord = nullptr;
    EXPECT_FALSE(fet->Open());
    EXPECT_TRUE(rec.calls.empty());
}

TEST(FetAdapterName, DefaultsToThePlatformLibraryUnlessTheEnvironmentNamesOne) {
#if defined(_WIN32)
    const std::string platformName = "MSP430.dll";
#elif defined(__APPLE__)
    const std::string platformName = "libmsp430.dylib";
#else
    const std::string platformName = "libmsp430.so";
#endif
    auto set = [](const char* value) { sim::SetEnvValue("PYROLA_FET_LIBRARY", value); };
    set("");
    FakeLoader loader;
    FetAdapter plain(loader);
    EXPECT_EQ(loader.loads.back(), platformName);
    set("/opt/sim/other-fet-library");
    FetAdapter named(loader);
    EXPECT_EQ(loader.loads.back(), "/opt/sim/other-fet-library");
    set("");
}

} // namespace
} // namespace pyrola
