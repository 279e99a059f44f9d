#pragma once
// One simulated MSP430 F1xx/F4xx chip as its front ends (FET library, bootstrap loader,
// JTAG pins) see it: a 64 KiB address space with RAM, the loader ROM with the
// identification bytes, information and main flash that follow the flash controller's
// rules, the configuration fuses and the security fuse, plus injectable faults.
//
// Flash rules (F1xx/F4xx flash controller): an erase sets a whole segment to 0xFF (main
// segments 512 bytes, information segments 128 bytes, both aligned to their size and
// clipped to their memory); programming can only clear bits, so a write over unerased
// flash leaves the AND of the old and the new byte.

#include "sim/ChipCatalog.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pyrola::sim {

inline constexpr uint32_t kAddressSpaceSize = 0x10000;
inline constexpr uint32_t kMainSegmentSize = 512;
inline constexpr uint32_t kInfoSegmentSize = 128;
inline constexpr uint32_t kPeripheralEnd = 0x01FF;
inline constexpr uint32_t kLoaderRomStart = 0x0C00;
inline constexpr uint32_t kLoaderRomEnd = 0x0FFF;
inline constexpr uint32_t kIdentificationStart = 0x0FF0;
inline constexpr uint32_t kLoaderVersionAddress = 0x0FFA;
inline constexpr uint32_t kVectorTableStart = 0xFFE0;

enum class Region { Peripheral, Ram, LoaderRom, Info, Main, Vacant };

// Which flash operations a power-loss countdown counts.
enum class FlashOperation { Any, Program, Erase };

class DeviceModel {
public:
    // An unknown name builds the default chip (MSP430F149); check names with IsDeviceName.
    explicit DeviceModel(const std::string& deviceName = kDefaultChip);

    static std::vector<std::string> DeviceNames();
    static bool IsDeviceName(const std::string& name);

    const std::string& DeviceName() const { return name_; }
    const MemoryBounds& Bounds() const { return bounds_; }

    Region RegionOf(uint32_t address) const;
    bool IsFlash(uint32_t address) const;
    // First and last address of the flash segment that holds `address`; for an address
    // outside flash both give the address itself.
    uint32_t SegmentStart(uint32_t address) const;
    uint32_t SegmentEnd(uint32_t address) const;

    // Memory as the CPU reads it: stuck bits show through; outside the 64 KiB space 0xFF.
    uint8_t Read(uint32_t address) const;
    void ReadBlock(uint32_t address, uint8_t* out, uint32_t count) const;
    // Flash: AND with the old byte, refused while the controller is locked. RAM and
    // peripheral registers: plain store. ROM, vacant addresses, a lost supply: false.
    bool Write(uint32_t address, uint8_t value);
    // Segment erase of the flash segment holding `address`; false outside flash.
    bool EraseSegment(uint32_t address);
    bool EraseMain();
    bool EraseMass(); // main and information memory
    bool IsBlank(uint32_t address, uint32_t length) const;
    // Test and tool set-up: stores the byte anywhere in the space, no rules, no faults.
    void Poke(uint32_t address, uint8_t value);

    std::array<uint8_t, 16> Identification() const;
    void SetIdentification(const std::array<uint8_t, 16>& bytes);
    // Bytes 0x0FFA (high) and 0x0FFB (low).
    uint16_t LoaderVersion() const;
    void SetLoaderVersion(uint16_t version);
    uint16_t ConfigurationFuses() const { return fuses_; }
    void SetConfigurationFuses(uint16_t fuses) { fuses_ = fuses; }
    // The interrupt vectors 0xFFE0-0xFFFF, which the bootstrap loader takes as password.
    std::array<uint8_t, 32> VectorPassword() const;

    // The flash controller's LOCK bit. Unlocked by default: the front ends play the part
    // of the code that drives the controller.
    void SetFlashLocked(bool locked) { flashLocked_ = locked; }
    bool FlashLocked() const { return flashLocked_; }

    // Security fuse: once blown it stays blown (also across Save/Load). The model keeps
    // working; the JTAG-based front ends refuse access.
    void BlowSecurityFuse() { securityFuseBlown_ = true; }
    bool SecurityFuseBlown() const { return securityFuseBlown_; }

    // Faults. Stuck bits: the bits of `mask` read as in `value` whatever is programmed.
    void SetStuckBits(uint32_t address, uint8_t mask, uint8_t value);
    void ClearStuckBits();
    // After `operationCount` more flash operations (one per byte programmed, one per
    // erase command) the next one is cut short by a supply loss: an erase leaves the
    // first half of its segments erased and the rest as it was, a byte write clears
    // only the bits of its upper nibble. From then on every write and erase fails until
    // RestorePower.
    // `kind` narrows the countdown to byte programming or to erase commands.
    void InjectPowerLossAfter(uint32_t operationCount, FlashOperation kind = FlashOperation::Any);
    bool PowerLost() const { return powerLost_; }
    void RestorePower();
    // A crash of the program that drives the chip (or a power cut of its PC), for tests of
    // what survives one: the erase command after the next `eraseCommands` ends that program
    // before the chip sees it. Only a front end running inside that program (the FET
    // library) can act on it; it asks HostCrashDue before every erase command.
    void InjectHostCrashAfter(uint32_t eraseCommands) { hostCrashCountdown_ = eraseCommands; }
    // Counts one erase command against the countdown; true when this one is the crash.
    bool HostCrashDue();
    // Flash programming and erase operations performed so far.
    uint64_t FlashOperationCount() const { return flashOperations_; }
    // No cable reaches the chip's JTAG pins: a parallel port wired to them reads all ones.
    // Only the JTAG front end looks at it; it is not part of the state file.
    void UnplugJtagCable() { jtagCableUnplugged_ = true; }
    bool JtagCableUnplugged() const { return jtagCableUnplugged_; }
    // The program driving a parallel port wired to the JTAG pins stops for `milliseconds`
    // before its `access`-th port access (counted from 1), as a preempted program would.
    // Only the JTAG front end looks at it; it is not part of the state file.
    void SchedulePortPause(uint64_t access, uint32_t milliseconds) { portPauses_[access] = milliseconds; }
    // The pause before that access, 0 for none.
    uint32_t PortPauseBefore(uint64_t access) const {
        auto it = portPauses_.find(access);
        return it == portPauses_.end() ? 0 : it->second;
    }

    // State file: the 65,536 bytes of the address space (file offset = address), then a
    // trailer with the device name, the fuses and the flags. Load also accepts a bare
    // 65,536-byte file (memory only). Load adopts the device the file names; it leaves
    // the model unchanged and returns false for a missing or malformed file. Save writes
    // a temporary file and renames it over the target.
    bool Load(const std::string& path);
    bool Save(const std::string& path) const;

private:
    void Adopt(const ChipDescription& chip);
    // The cell an address uses: a mirrored RAM address the RAM byte it mirrors.
    uint32_t Cell(uint32_t address) const;
    bool BeginFlashOperation(FlashOperation kind);
    bool EraseSegments(const std::vector<uint32_t>& starts);
    std::vector<uint32_t> SegmentsOf(uint32_t start, uint32_t end, uint32_t size) const;
    void FillSegment(uint32_t start);

    std::string name_;
    MemoryBounds bounds_{};
    // Heap-held so that a model can live on any thread's stack.
    std::vector<uint8_t> memory_ = std::vector<uint8_t>(kAddressSpaceSize, 0);
    std::vector<uint8_t> stuckMask_ = std::vector<uint8_t>(kAddressSpaceSize, 0);
    std::vector<uint8_t> stuckValue_ = std::vector<uint8_t>(kAddressSpaceSize, 0);
    uint16_t fuses_ = 0;
    bool flashLocked_ = false;
    bool securityFuseBlown_ = false;
    bool powerLost_ = false;
    bool interrupting_ = false;
    bool jtagCableUnplugged_ = false;
    std::map<uint64_t, uint32_t> portPauses_;
    std::optional<uint32_t> powerLossCountdown_;
    FlashOperation powerLossKind_ = FlashOperation::Any;
    uint64_t flashOperations_ = 0;
    std::optional<uint32_t> hostCrashCountdown_;
};

} // namespace pyrola::sim
