#pragma once
// The simulated chip's flash controller (FCTL1 0x0128, FCTL2 0x012A, FCTL3 0x012C), as
// the F1xx/F4xx family guides describe it. Writes need the password 0xA5 in the high
// byte; any other value sets KEYV and resets the chip (KEYV stays set through that reset). With LOCK clear, a
// write into flash starts what FCTL1 selects: a word or byte write (WRT), a segment erase (ERASE), an erase
// of main memory (MERAS) or of all flash (MERAS and ERASE). The operation keeps the controller BUSY for a
// number of cycles of its timing generator, which runs from the clock FCTL2 selects divided by FN+1, and only
// takes effect on the device model when they have all been clocked (the counts are the least the vendor's
// JTAG guide asks for):
//   word or byte write  35 cycles
//   segment erase       4,820 cycles
//   main or mass erase  5,300 cycles per pass; the memory reads erased only once the
//                       passes add up to the cumulative mass-erase time of 200 ms
// A write into flash while BUSY, without a mode, or while LOCK is set only sets ACCVIFG.
// A reset cuts off a running operation without effect. Block writes are timed as single
// writes.
// The timing generator must run at 257 to 476 kHz (the data sheets' fFTG). The controller
// judges every period of it, from one cycle to the next, in the caller's time (under JTAG
// the cycles are TCLK's, so the time is the pins'): one period shorter than 1/476 kHz puts
// the operation outside the window, and so does one longer than 1/257 kHz for a write (its
// program pulse is stretched); an erase whose periods were stretched only erased longer,
// which the cells take without harm, and counts for the time it took. The wait before the first
// cycle is no period: the JTAG guide's own procedure shifts an instruction and a control
// word between the write that starts an operation and its first cycle. An operation
// outside the window does what a real chip risks: a write leaves the bits of mask 0x5555
// of its word erased (the cells got too short or too long a pulse), a segment erase leaves
// the bits of mask 0x55 of every byte as they were (under-erased cells still read
// programmed), a main or mass erase pass adds nothing to the cumulative erase time (its
// erase is not assured; the memory reads erased only once passes inside the window add up
// to 200 ms).
// Cumulative program time (tCPT, 4 ms): the time of every write into a 64-byte row (its
// cycles, stalls inside them included) is summed until the row is erased; a write that
// takes the sum past 4 ms overstresses the row, and program disturb then clears bit 0 of
// every byte of the row (each further write to it does so again).

#include "sim/DeviceModel.h"

#include <cstdint>
#include <map>

namespace pyrola::sim {

inline constexpr uint16_t kFlashCtl1 = 0x0128;
inline constexpr uint16_t kFlashCtl2 = 0x012A;
inline constexpr uint16_t kFlashCtl3 = 0x012C;
inline constexpr uint16_t kFlashPassword = 0xA500;
inline constexpr uint16_t kFlashReadKey = 0x9600;

// FCTL1
inline constexpr uint8_t kFlashErase = 0x02;
inline constexpr uint8_t kFlashMassErase = 0x04;
inline constexpr uint8_t kFlashWrite = 0x40;
inline constexpr uint8_t kFlashBlockWrite = 0x80;
// FCTL2
inline constexpr uint8_t kFlashSourceMask = 0xC0;
inline constexpr uint8_t kFlashSourceAclk = 0x00;
inline constexpr uint8_t kFlashDividerMask = 0x3F;
// FCTL3
inline constexpr uint8_t kFlashBusy = 0x01;
inline constexpr uint8_t kFlashKeyViolation = 0x02;
inline constexpr uint8_t kFlashAccessViolation = 0x04;
inline constexpr uint8_t kFlashWait = 0x08;
inline constexpr uint8_t kFlashLock = 0x10;
inline constexpr uint8_t kFlashEmergencyExit = 0x20;

inline constexpr uint32_t kFlashWriteCycles = 35;
inline constexpr uint32_t kFlashSegmentEraseCycles = 4820;
inline constexpr uint32_t kFlashMassEraseCycles = 5300;
inline constexpr uint64_t kFlashCumulativeMassEraseNs = 200000000;
inline constexpr uint64_t kFlashTimingLowHz = 257000;
inline constexpr uint64_t kFlashTimingHighHz = 476000;
// The generator's shortest and longest period inside the window, in ns.
inline constexpr uint64_t kFlashShortestPeriodNs =
    (1000000000u + kFlashTimingHighHz - 1) / kFlashTimingHighHz;
inline constexpr uint64_t kFlashLongestPeriodNs = 1000000000u / kFlashTimingLowHz;
inline constexpr uint64_t kFlashCumulativeProgramNs = 4000000;
inline constexpr uint32_t kFlashRowBytes = 64;
inline constexpr uint8_t kFlashDisturbBits = 0x01;
// What a write outside the window leaves erased, and what an erase leaves as it was.
inline constexpr uint16_t kFlashWeakWriteBits = 0x5555;
inline constexpr uint8_t kFlashWeakEraseBits = 0x55;

enum class FlashJob { None, Write, SegmentErase, MainErase, MassErase };

class FlashController {
public:
    explicit FlashController(DeviceModel& device) : device_(device) { PowerUp(); }

    // Power-up: reset, and the erase time the cells have seen is forgotten.
    void PowerUp();
    // A reset (PUC): reset values, a running operation cut off without effect.
    void Reset();

    bool IsRegister(uint16_t address) const;
    uint16_t ReadRegister(uint16_t address) const;
    // False on a wrong password: the chip must reset.
    bool WriteRegister(uint16_t address, uint16_t value);
    // A CPU or JTAG write into flash at nowNs.
    void WriteFlash(uint16_t address, uint16_t value, bool byte, uint64_t nowNs);
    // One cycle of the CPU clock (under JTAG: one TCLK) at nowNs.
    void Tick(uint64_t nowNs);
    // Finishes a running operation on the chip's own clock (when JTAG lets go of the CPU).
    void RunToEnd(uint64_t nowNs);

    bool Busy() const { return job_ != FlashJob::None; }
    FlashJob Job() const { return job_; }
    uint32_t CyclesLeft() const { return cyclesLeft_; }
    uint64_t CumulativeMassEraseNs() const { return massEraseNs_; }
    // Operations that ran all their cycles.
    uint64_t CompletedOperations() const { return completed_; }
    // The timing generator's frequency over the last completed operation (0 when it had
    // fewer than two cycles or ran on the chip's own clock), and how many operations ran
    // outside the window.
    uint64_t LastFrequencyHz() const { return lastHz_; }
    uint64_t OperationsOutOfWindow() const { return outOfWindow_; }
    // The shortest and longest generator period seen inside any operation clocked from
    // outside (0 before the first), and how many periods lay outside the window.
    uint64_t ShortestPeriodNs() const { return shortestNs_; }
    uint64_t LongestPeriodNs() const { return longestNs_; }
    uint64_t PeriodsOutOfWindow() const { return periodsOut_; }
    // The cumulative program time of the 64-byte row holding `address` since its erase, the
    // most any row reached, and how many writes went past tCPT.
    uint64_t RowProgramNs(uint16_t address) const;
    uint64_t MostRowProgramNs() const { return mostRowNs_; }
    uint64_t RowsOverstressed() const { return overstressed_; }
    // True once any operation reached the device model since the last call.
    bool TakeChanged();

private:
    void Complete();
    // The measured frequency of the running operation; true when it lies in the window.
    bool MeasureWindow();
    // A segment erase outside the window.
    void EraseWeakly();
    // The operation's time on its generator: its cycles at their mean period.
    uint64_t OperationNs() const;
    void ChargeRow(uint64_t ns);
    void ForgetRows(uint32_t start, uint32_t end);

    DeviceModel& device_;
    uint8_t control1_ = 0;
    uint8_t control2_ = 0;
    uint8_t control3_ = 0;
    FlashJob job_ = FlashJob::None;
    uint16_t address_ = 0;
    uint16_t value_ = 0;
    bool byte_ = false;
    uint32_t cyclesLeft_ = 0;
    uint32_t dividerCount_ = 0;
    uint64_t startNs_ = 0;
    uint64_t firstTickNs_ = 0;
    uint64_t lastTickNs_ = 0;
    uint32_t ticks_ = 0;
    uint64_t lastHz_ = 0;
    uint64_t outOfWindow_ = 0;
    bool periodFast_ = false; // a period of the running operation was too short
    bool periodSlow_ = false; // or too long
    uint64_t shortestNs_ = 0;
    uint64_t longestNs_ = 0;
    uint64_t periodsOut_ = 0;
    std::map<uint32_t, uint64_t> rowNs_; // by row number (address / 64)
    uint64_t mostRowNs_ = 0;
    uint64_t overstressed_ = 0;
    uint64_t massEraseNs_ = 0;
    uint64_t completed_ = 0;
    bool changed_ = false;
};

} // namespace pyrola::sim
