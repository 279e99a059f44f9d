#pragma once
// The MSP430 JTAG protocol on the parallel-port pins: walking the TAP controller,
// shifting instructions (8 bits, least significant first) and data (up to 16 bits, most
// significant first), the identification and security-fuse checks, taking the CPU under
// JTAG control, feeding it instructions, reading and writing target memory, and the three
// reset methods. Every procedure is a fixed sequence of LptJtagPort operations; between
// procedures the TAP rests in Run-Test/Idle with TMS and TCK high. Failures leave their
// number in the port's error number.

#include "adapters/raw/LptJtagPort.h"

#include <cstdint>

namespace pyrola {

// JTAG instructions.
inline constexpr uint8_t kIrControlWrite = 0x13;
inline constexpr uint8_t kIrControlCapture = 0x14;
inline constexpr uint8_t kIrControlRelease = 0x15;
inline constexpr uint8_t kIrConfigFuses = 0x29;
inline constexpr uint8_t kIrData = 0x41;
inline constexpr uint8_t kIrDataQuick = 0x43;
inline constexpr uint8_t kIrDataPsa = 0x44;
inline constexpr uint8_t kIrShiftOutPsa = 0x46;
inline constexpr uint8_t kIrAddress = 0x83;
inline constexpr uint8_t kIrAddressCapture = 0x84;
inline constexpr uint8_t kIrDataToAddress = 0x85;

// What a working target captures while an instruction is shifted in.
inline constexpr uint8_t kJtagIdentification = 0x89;

// Control words.
inline constexpr uint16_t kControlNormal = 0x2401;
inline constexpr uint16_t kControlRead = 0x2409;
inline constexpr uint16_t kControlWordWrite = 0x2408;
inline constexpr uint16_t kControlByteWrite = 0x2418;
inline constexpr uint16_t kControlReset = 0x2C01;
inline constexpr uint16_t kControlReleaseLowByte = 0x3401;

// Control-register bits read back.
inline constexpr uint16_t kControlSynchronized = 0x0200;
inline constexpr uint16_t kControlInstructionFetch = 0x0080;
inline constexpr uint16_t kControlBit1 = 0x0002;

// Instruction words fed to the CPU.
inline constexpr uint16_t kInstrMovImmPc = 0x4030;
inline constexpr uint16_t kInstrJmpSelf = 0x3FFF;
inline constexpr uint16_t kInstrNop = 0x4303;

// The watchdog: the word that stops it after every JTAG reset.
inline constexpr uint16_t kWatchdogAddress = 0x0120;
inline constexpr uint16_t kWatchdogStop = 0x5A80;

// A blown security fuse echoes the fuse test's data shifted by one bit.
inline constexpr uint16_t kFuseTestPattern = 0xAAAA;
inline constexpr uint16_t kFuseBlownEcho = 0x5555;

class JtagTargetControl {
public:
    explicit JtagTargetControl(LptJtagPort& port) : port_(port) {}

    // Captured byte.
    uint8_t ShiftIr(uint8_t instruction);
    // Captured bits; `bits` is clamped to 16, and below 1 nothing is shifted and 0 returned.
    uint16_t ShiftDr(uint16_t value, int bits = 16);
    // Shifts whose capture nobody reads, for the flash loops: TDI changes on the same write
    // as TCK's falling edge, TDO is not read and unchanged lines are not rewritten. The TAP
    // walks the same states as with ShiftIr and ShiftDr.
    void ShiftIrOut(uint8_t instruction);
    void ShiftDrOut(uint16_t value);
    void ReturnToIdle();
    void ResetTap();
    // 0 = fuse blown, -1 = fuse intact.
    int32_t TestSecurityFuse();
    // 0 found, -1 not found.
    int32_t WaitInstructionFetch();
    void HaltCpu();
    void ReleaseCpu();
    // 0, or -1 with error 13.
    int32_t ExecutePuc();
    int32_t SyncCpu();
    int32_t ConnectTarget();
    // Width 8 writes a byte; any other width a word.
    void WriteTargetMemory(int width, uint16_t address, uint16_t value);
    // 0, or -1 when the program counter could not be set (nothing is read then).
    int32_t ReadWordsQuick(uint16_t address, uint32_t count, uint16_t* words);
    // Feeds MOV #value, PC through the data register: one pulse for the instruction, the
    // value, then `pulses` more; gives the address bus as captured afterwards.
    uint16_t LoadProgramCounter(uint16_t value, int pulses);
    // Method bits 1 debug interface, 2 reset lines, 4 supply cycle, tried in that order;
    // 0, or -1 with error 8 when none succeeds.
    int32_t ResetTarget(uint32_t methods, bool execute, bool releaseJtag);

    LptJtagPort& Port() { return port_; }

private:
    // Shift-xR entered: the bits, TMS high with the last, then back to Run-Test/Idle with
    // TDI at `tdi` again before the TAP gets there.
    void ShiftOut(uint32_t value, int bits, bool msbFirst, bool tdi);
    // Up to 50 control captures until the CPU is synchronised, 1 ms apart; 0 or -1.
    // `last` (may be null) receives the last value read.
    int32_t WaitForSync(uint16_t* last);
    // After a reset: release the lines, or attach again and let the CPU run if asked.
    bool Reattach(bool execute, bool releaseJtag);
    bool ResetThroughJtag(bool execute, bool releaseJtag);
    bool ResetThroughLines(bool execute, bool releaseJtag);
    bool ResetBySupplyCycle(bool execute, bool releaseJtag);

    LptJtagPort& port_;
};

} // namespace pyrola
