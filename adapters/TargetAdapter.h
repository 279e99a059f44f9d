#pragma once
// The one interface through which every device operation goes. Errors are return
// values: device operations return 0 for success; Open and Close return a flag; the last
// error number is kept by the adapter and turned into a fixed text by GetErrorText.

#include "adapters/DeviceRecord.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pyrola {

// Bits of the Reset method argument.
inline constexpr uint32_t kResetDebugInterface = 1;
inline constexpr uint32_t kResetLine = 2;
inline constexpr uint32_t kResetSupplyCycle = 4;

// Erase modes.
inline constexpr uint32_t kEraseSegment = 0;
inline constexpr uint32_t kEraseMain = 1;
inline constexpr uint32_t kEraseAll = 2;

class TargetAdapter {
public:
    virtual ~TargetAdapter() = default;

    // Slots 0 to 12, in this order.
    virtual const char* GetName() = 0;
    virtual uint32_t GetBlockSize() = 0;
    virtual bool Open() = 0;
    virtual bool Close() = 0;
    virtual int32_t GetErrorNumber() = 0;
    virtual const char* GetErrorText(int32_t number) = 0;
    virtual int32_t Erase(uint32_t mode, uint32_t address, uint32_t length) = 0;
    virtual int32_t EraseCheck(uint32_t address, uint32_t length) = 0;
    virtual int32_t WriteMemory(uint32_t address, const uint8_t* data, uint32_t count) = 0;
    virtual int32_t ReadMemory(uint32_t address, uint8_t* data, uint32_t count) = 0;
    virtual int32_t VerifyMemory(uint32_t address, const uint8_t* data, uint32_t count) = 0;
    virtual int32_t Reset(uint32_t method, uint32_t execute, uint32_t releaseJtag) = 0;
    virtual int32_t DebugOneWire() = 0;

    uint8_t isOpen = 0;                   // 1 while attached and identified
    uint32_t portNumber = 1;              // 1-based LPT or COM number
    uint32_t requestedDevice = 0;         // device index proposed before Open
    DeviceRecord* deviceRecord = nullptr; // lent by the job engine, never owned
    // Bytes per EraseCheck call the blank check step should use, with progress and cancel
    // between calls; 0 = the whole range in one call (the adapter checks without moving it).
    uint32_t blankCheckPiece = 0;
    // The adapter writes whole 16-bit words: Program ends its pieces at word boundaries, so
    // that no word of flash is programmed twice.
    bool writesWholeWords = false;
    // Device rows the attached chip may be when the adapter cannot tell them apart (the
    // record then holds the memory they all have); empty when the record's row is the chip.
    std::vector<uint32_t> candidates;
    // The target reads back each byte it programs; false: only a verify tells whether the
    // flash holds what was written.
    bool checksWrites = true;

    // Not one of the operations: lines that say what the adapter used or why it failed
    // beyond its fixed error text (the library file it loaded, the device path and the
    // system's reason). Added on the worker thread; the engine logs and clears them after
    // Init, after each failure report and after each step.
    void AddNote(std::string text) { notes_.push_back(std::move(text)); }
    std::vector<std::string> TakeNotes() { return std::exchange(notes_, {}); }
    // A note only for a verbose run: what was tried on the way (versions, clock settings,
    // retries), of use when something goes wrong.
    void AddDetail(std::string text) {
        if (verboseNotes)
            AddNote(std::move(text));
    }
    bool verboseNotes = false;

private:
    std::vector<std::string> notes_;
};

} // namespace pyrola
