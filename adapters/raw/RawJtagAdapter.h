#pragma once
// The adapter that programs an MSP430 through its JTAG pins on a PC parallel port,
// without any vendor library: identification on Open (the 16 bytes at 0x0FF0 and the
// configuration fuses against the device table), flash erase and word programming
// through the chip's flash controller clocked by paced TCLK pulses, erase check and
// verify by the chip's data signature (PSA), and quick block reads.
//
// Flash timing is held on any port that can: each TCLK edge is paced against the clock
// near 350 kHz and never faster than 454 kHz (LptJtagPort); a port too slow for the flash
// is refused for erase and program. Every erase pass and every word's pulse train is timed
// period by period as it runs. A stretched train (the program was stopped, e.g.
// preempted) is mended where the flash allows: an erase pass is repeated (more erase time
// is harmless), a word is read back and written again when the bits it lacks can still be
// programmed. Each 64-byte row's program time is summed from its erase; a word that could
// take the row past the data sheets' cumulative program time (4 ms) is not written and the
// step fails naming it. Erase ends with a signature check of what it erased and program
// with one of what it wrote, so neither reports success on flash the chip did not change. Devices that need
// their TEST pin driven are refused: the cable has no TEST line (TestPinDevices.h).
//
// Memory moves in 16-bit little-endian words. A range that starts or ends in the middle
// of a word is widened to whole words without touching the bytes outside it: those are
// programmed as 0xFF (which leaves flash as it is), left out of what a read returns, and
// taken from the target for a signature check.

#include "adapters/TargetAdapter.h"
#include "adapters/raw/JtagTargetControl.h"
#include "adapters/raw/LptJtagPort.h"
#include "platform/Clock.h"
#include "platform/PortIo.h"

#include <cstdint>
#include <map>
#include <vector>

namespace pyrola {

// Flash controller registers and the values written to them (password 0xA5 in the high byte).
inline constexpr uint16_t kFlashControl1 = 0x0128;
inline constexpr uint16_t kFlashControl2 = 0x012A;
inline constexpr uint16_t kFlashControl3 = 0x012C;
inline constexpr uint16_t kFlashSegmentErase = 0xA502;
inline constexpr uint16_t kFlashMainErase = 0xA504;
inline constexpr uint16_t kFlashMassErase = 0xA506;
inline constexpr uint16_t kFlashWordWrite = 0xA540;
inline constexpr uint16_t kFlashDone = 0xA500;
inline constexpr uint16_t kFlashClockFromCpu = 0xA540; // flash clock = CPU clock (TCLK), divider 1
inline constexpr uint16_t kFlashUnlocked = 0xA500;
inline constexpr uint16_t kFlashEraseDummy = 0x55AA;

// Flash timing in TCLK pulses after the write that starts the operation (the vendor's JTAG
// guide's least counts: 4,820 for a segment erase, 5,300 for a mass-erase pass, 35 for a
// word).
inline constexpr uint32_t kSegmentErasePulses = 4820;
inline constexpr uint32_t kMassErasePulses = 5300;
inline constexpr uint32_t kMassErasePasses = 19;
inline constexpr uint32_t kWordWritePulses = 38;
// The cycles of a word write the flash applies its program voltage for (tWord).
inline constexpr uint32_t kWordProgramCycles = 35;
// The data sheets' cumulative program time (tCPT) of a 64-byte row between two erases.
inline constexpr uint64_t kRowProgramLimitNs = 4000000;
inline constexpr uint32_t kFlashRowBytes = 64;
// Tries of one erase pass, and rounds of writing stretched words again.
inline constexpr uint32_t kErasePassTries = 5;
inline constexpr uint32_t kWordWriteRounds = 3;

// What the flash work of this adapter met since it was opened.
struct RawFlashCounts {
    uint64_t shortestTclkNs = 0; // shortest and longest TCLK period of any train
    uint64_t longestTclkNs = 0;
    uint64_t retriedPasses = 0;  // erase passes done again after a stretched one
    uint64_t rewrittenWords = 0; // words written again after a stretched train
};

class RawJtagAdapter : public TargetAdapter {
public:
    // Touches no port: the access is opened by the first Open, when a job needs it.
    RawJtagAdapter(PortIo& portIo, Clock& clock);
    ~RawJtagAdapter() override;

    RawJtagAdapter(const RawJtagAdapter&) = delete;
    RawJtagAdapter& operator=(const RawJtagAdapter&) = delete;

    const char* GetName() override { return "RAW"; }
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

    LptJtagPort& Port() { return port_; }
    const RawFlashCounts& FlashCounts() const { return counts_; }
    JtagTargetControl& Jtag() { return jtag_; }

private:
    // A transfer needs an identified device (else `noDeviceError`) and data for its count.
    bool CanTransfer(int32_t noDeviceError, const void* data, uint32_t count);
    // One register write with the CPU halted: the address and the data shifted in.
    void WriteRegister(uint16_t address, uint16_t value);
    // One erase pass; false when its pulse train was stretched.
    bool ErasePass(uint16_t mode, uint16_t address, uint32_t pulses, TclkTrainTiming* timing);
    // An erase pass repeated until one ran unstretched; false (error 9, a note) if none did.
    bool ErasePassInTime(uint16_t mode, uint16_t address, uint32_t pulses);
    // A paced train whose periods go into the counts.
    TclkTrainTiming Train(uint32_t pulses, uint32_t mark = 0);
    // Writes words[i] at start + 2i for each i in `which` (halted CPU, flash in write mode);
    // the stretched ones go to `stretched`. False (error 6, a note) when a word would take
    // its row past the cumulative program time.
    bool ProgramWords(uint16_t start, const std::vector<uint16_t>& words, const std::vector<uint32_t>& which,
                      std::vector<uint32_t>* stretched);
    // Reads back the stretched words and writes again those that lack bits; false (error 6,
    // a note) when a word holds a bit cleared that must be set, or stays wrong.
    bool MendStretched(uint16_t start, const std::vector<uint16_t>& words, std::vector<uint32_t> stretched);
    // Erase and program need a port fast enough for the flash; false with a note if not.
    bool FlashTimingOrRefuse(const char* what, int32_t error);
    // The signature check of an erased range; false (error 9, a note) when it is not blank.
    bool CheckErased(uint32_t start, uint32_t end);
    // Open's part after the lines are attached.
    bool Identify();
    // Signature check of count bytes against data (null: all 0xFF); 0 or -1 (error 11).
    int32_t CheckSignature(uint32_t address, const uint8_t* data, uint32_t count);

    LptJtagPort port_;
    JtagTargetControl jtag_;
    RawFlashCounts counts_;
    std::map<uint32_t, uint64_t> rowNs_; // program time by 64-byte row since its erase
    bool refusalNoted_ = false;          // a too slow port's refusal was said since Open
};

} // namespace pyrola
