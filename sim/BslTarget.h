#pragma once
// The ROM bootstrap loader of the simulated chip, seen from the chip's side of the UART:
// it is entered by the reset/test pin sequence, answers the synchronisation byte, takes
// frames (head, data, 16-bit checksum), keeps protected commands locked until the
// interrupt vectors arrive as password (every well-formed password frame is acknowledged;
// a wrong one shows only as refusals of the protected commands after it), and carries out
// the commands its version has on the device model; any other command is refused as a
// locked one is. Times are in nanoseconds of whatever clock the caller runs on; the answers come
// out stamped with the time their last bit leaves the chip's UART, at 9600 baud 8E1 until
// the change-baud-rate command (loaders from version 1.60 on) switches it to 19200 or
// 38400 baud; every start of the loader returns to 9600.
//
// Write frames are taken only at even addresses with even lengths, as the chip takes them;
// read frames too, stricter than the chip's guide; erase checks take odd ranges.
//
// Loaders before 1.50 know no erase check and no transmit-version command, loaders before
// 1.60 no change of rate. The erase keys work as the flash controller's modes: 0xA502 one
// segment, 0xA504 all main memory (information memory kept), 0xA506 all flash. One frame
// of 0xA504 erases for one mass-erase pulse on every version, and so does a mass erase
// before 1.61 (the first version documented to erase completely in one frame): only enough
// such frames in a row reach the cumulative erase time. An erase frame whose address lies
// outside flash starts nothing yet is acknowledged, as the loader only writes the dummy
// word there. From 1.60 on
// the check after a segment erase in information memory spans all of it, so erasing one
// information segment while another holds data is answered with a refusal. The chip
// vendor's patch, loaded at 0x0220 and started at its first word, takes over as a loader
// extension that adds the erase check and erases in one go. Which bytes that patch is must
// be given (SetWorkingPatch): any other code started there leaves the loader, as foreign
// code on a real chip would.

#include "sim/DeviceModel.h"

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace pyrola::sim {

// Wire time of one character: start bit, 8 data bits, parity, stop bit at 9600 baud.
inline constexpr uint64_t kBslBitsPerByte = 11;
inline constexpr uint64_t kBslBaudRate = 9600;
inline constexpr uint64_t kBslByteNs = kBslBitsPerByte * 1000000000ull / kBslBaudRate;
// The rate of a UART whose clock was set to values that belong to no rate: nothing it
// sends or receives makes sense to a host at any rate.
inline constexpr uint32_t kBslGarbledRate = 1;
// After switching, the chip's clock needs this long before it receives properly.
inline constexpr uint64_t kBslRateSettleNs = 5000000;

struct BslTargetTiming {
    uint64_t byteNs = kBslByteNs;               // one character on the wire
    uint64_t turnaroundNs = 50000;              // from the last byte received to the answer
    uint64_t programByteNs = 45000;             // flash block-write time per byte
    uint64_t segmentEraseNs = 15000000;         // one segment, or main or information memory
    uint64_t massErasePulseNs = 12000000;       // one mass-erase frame on an old loader
    uint64_t cumulativeMassEraseNs = 200000000; // what a full mass erase needs in all
    uint64_t eraseCheckByteNs = 1000;           // erase check per byte
    uint64_t frameGapNs = 50000000;             // silence after which a half frame is dropped
    // The shortest level of RST/NMI or TEST the chip takes in: the data sheets ask for a
    // 2 us reset pulse, and the usual RC filter on RST/NMI (47 kOhm, 10 nF) needs about
    // 0.7 ms to carry a level across the input threshold.
    uint64_t minPinLevelNs = 1000000;
};

// One byte of the chip's answer, the time its last bit has left the chip and the rate it
// went out at.
struct BslTimedByte {
    uint8_t byte;
    uint64_t doneNs;
    uint32_t baudRate = kBslBaudRate;
};

// A frame the loader received in full, with a correct checksum.
struct BslFrameRecord {
    uint8_t command;
    uint16_t address;
    uint16_t length;
    uint8_t answer; // first answer byte
};

enum class BslTargetMode { Reset, UserProgram, Loader };

class BslTarget {
public:
    explicit BslTarget(DeviceModel& device, BslTargetTiming timing = {});

    // Pin levels of RST/NMI and TEST (true = high). Two rising TEST edges while RST is low,
    // then RST rising while TEST is high, start the loader; any other release of RST
    // starts the user program. A level held for less than minPinLevelNs never reaches the
    // chip: a reset that short resets nothing, a TEST pulse that short is no edge.
    void SetPins(bool reset, bool test, uint64_t nowNs);
    // The pins one by one. Chips with a TEST pin (the 20- and 28-pin F11x and F12x parts,
    // whose JTAG pins are shared) take the entry sequence on TEST; chips with dedicated JTAG
    // pins have no TEST pin and take it inverted on TCK (TCK low where TEST would be high).
    // The standard interface circuit drives TEST from the inverted RTS line and TCK from
    // RTS itself, so SetPins(reset, test) is SetEntryPins(reset, test, !test).
    void SetEntryPins(bool reset, bool test, bool tck, uint64_t nowNs);
    bool HasTestPin() const;
    // A pseudo-terminal has no modem lines: such a loader is entered once and answers at
    // any time.
    void StartLoader(uint64_t nowNs);

    // One character fully received at nowNs.
    void Receive(uint8_t byte, uint64_t nowNs);
    // Answers produced so far, oldest first; they leave the internal queue.
    std::vector<BslTimedByte> TakeOutput();

    BslTargetMode Mode() const { return mode_; }
    // The loader's current line rate, and the wire time of one character at it.
    uint32_t BaudRate() const { return baudRate_; }
    uint64_t ByteNs() const;
    // How often the reset line went low (to tell whether opening a port pulsed it).
    uint32_t ResetCount() const { return resetCount_; }
    // Levels that came and went too fast for the chip to take them in.
    uint32_t ShortLevels() const { return shortLevels_; }
    // Bytes that arrived while the clock was still settling after a change of rate.
    uint32_t BytesLostSettling() const { return lostSettling_; }
    bool Unlocked() const { return unlocked_; }
    // Password frames taken since the chip was made.
    uint32_t PasswordFrames() const { return passwordFrames_; }
    bool PatchRunning() const { return patchRunning_; }
    DeviceModel& Device() { return device_; }
    const std::vector<BslFrameRecord>& Frames() const { return frames_; }
    uint32_t FrameCount(uint8_t command) const;
    void ClearFrames() { frames_.clear(); }

    // The code that works as the loader extension when loaded at 0x0220 (first word: its
    // start address) and started there. Empty (the default): no code does.
    void SetWorkingPatch(std::vector<uint8_t> bytes) { workingPatch_ = std::move(bytes); }

    // Faults.
    // The loader answers nothing at all (a dead or unpowered target).
    void SetSilent(bool silent) { silent_ = silent; }
    // The next frame (of `command`, or of any command when it is 0) is cut off after
    // `afterBytes` of its bytes with `answer`; the rest of it is ignored.
    void RefuseNextFrame(uint8_t command, uint32_t afterBytes, uint8_t answer = 0xA0);
    // Every password is refused, whatever the vectors hold.
    void SetRefusePasswords(bool refuse) { refusePasswords_ = refuse; }
    // Frames of `command` are answered with `answer` instead of being carried out
    // (0 ends the override).
    void SetAnswerOverride(uint8_t command, uint8_t answer);

private:
    enum class RxState { Idle, Synced, InFrame };

    void EnterLoader(uint64_t nowNs);
    void Answer(uint8_t byte, uint64_t readyNs);
    uint32_t pendingRate_ = 0; // set by a change of rate, taken once its acknowledge is out
    void Execute(uint64_t nowNs);
    uint8_t Carry(uint8_t command, uint16_t address, uint16_t length, const uint8_t* data, uint32_t count,
                  uint64_t& busyNs, std::vector<uint8_t>& dataFrame);
    bool IsOld() const { return device_.LoaderVersion() <= 0x0110; }
    // The rate the change-baud-rate command's control bytes give on this chip.
    uint32_t RateFor(uint8_t d1, uint8_t d2, uint8_t d3) const;
    bool HasExtension() const { return patchRunning_; }
    bool WorkingPatchLoadedAt(uint16_t start) const;
    // Whether this loader's version (or its running extension) has the command.
    bool Knows(uint8_t command) const;
    // A main-memory (or, with mass, main and information) erase as the ROM loader times it.
    bool LongErase(bool mass, uint64_t& busyNs);

    DeviceModel& device_;
    BslTargetTiming timing_;
    BslTargetMode mode_ = BslTargetMode::UserProgram;
    bool resetPin_ = true;
    bool testPin_ = false;
    uint32_t testEdges_ = 0;
    uint64_t resetChangeNs_ = 0;
    uint64_t testChangeNs_ = 0;
    uint32_t shortLevels_ = 0;
    BslTargetMode modeBeforeReset_ = BslTargetMode::UserProgram;
    uint32_t resetCount_ = 0;
    uint32_t lostSettling_ = 0;
    uint32_t baudRate_ = kBslBaudRate;
    uint64_t rateSettledNs_ = 0; // bytes that arrive earlier are lost

    RxState rx_ = RxState::Idle;
    uint64_t lastRxNs_ = 0;
    std::vector<uint8_t> frame_;
    bool unlocked_ = false;
    bool leaving_ = false;
    bool patchRunning_ = false;
    // RAM bytes from 0x0220 written since the loader started: where a patch can live.
    uint32_t patchLoadedEnd_ = 0;
    std::vector<uint8_t> workingPatch_;
    uint64_t massEraseAccumulatedNs_ = 0;
    uint32_t accumulatingErase_ = 0; // command and key of the erase being added up
    uint32_t passwordFrames_ = 0;
    uint64_t txFreeNs_ = 0;
    std::deque<BslTimedByte> output_;
    std::vector<BslFrameRecord> frames_;

    bool silent_ = false;
    bool refusePasswords_ = false;
    bool refusePending_ = false;
    uint8_t refuseCommand_ = 0;
    uint32_t refuseAfter_ = 0;
    uint8_t refuseAnswer_ = 0xA0;
    uint8_t overrideCommand_ = 0;
    uint8_t overrideAnswer_ = 0;
};

} // namespace pyrola::sim
