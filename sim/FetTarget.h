#pragma once
// The simulated FET interface library: the calls of the FET library carried out on a
// DeviceModel. One model, two generations, as the vendor shipped them:
//   version 2 (FetGeneration::Two): the thirteen calls with MSP430_Identify, a port given
//     by its number, this library's own error numbers and texts;
//   version 3 (FetGeneration::Three): no MSP430_Identify; FETs opened by the names the
//     library enumerates, MSP430_OpenDevice and MSP430_GetFoundDevice with the packed
//     DEVICE_T of the vendor's header, the header's error numbers and texts (the number is
//     cleared when read), firmware that may need MSP430_FET_FwUpdate first.
// The shared libraries in sim/fetlib/ export one process-wide instance each.
//
// Environment (read at MSP430_Initialize):
//   PYROLA_SIM_DEVICE  the chip, by device-list name (default MSP430F149)
//   PYROLA_SIM_STATE   state file ("%p" in its name stands for the port number, one chip per
//                      port): loaded at every Initialize, written after every call
//                      that changes the chip and at Close, so separate runs see one chip
//   PYROLA_SIM_FAULTS  faults to inject (see FaultList.h), applied to every new chip (not
//                      again to one reloaded from its state file within the process); a
//                      host crash ends the process that loaded the library with status 86
//   PYROLA_SIM_BOARD   a test's board socket (BoardSocket.h; "%p" as in the state file's name):
//                      with no board, Identify finds no device
//   PYROLA_SIM_FET_DELAY  milliseconds (0-10000) that every erase, erase check, memory
//                      and verify call takes beyond its work: a slow cable, so that a
//                      job lasts long enough to be cancelled
//   Version 3 only:
//   PYROLA_SIM_FET_NAMES  the FETs plugged in, by the names the library enumerates,
//                      comma-separated (default one FET, "ttyACM0"); MSP430_Initialize
//                      opens only these (or "TIUSB"/"USB": the first)
//   PYROLA_SIM_FET_FIRMWARE  a file holding the FETs' firmware state: "old" makes
//                      MSP430_Initialize report version -1 and every call but
//                      MSP430_FET_FwUpdate and MSP430_Close fail until the update wrote
//                      "current" there; unset or any other content: current firmware
//
// Values whose meaning belongs to this library:
//   Erase mode 0 the segment holding the address, 1 main memory, 2 main and information.
//   Reset method bits 1 debug interface, 2 reset line, 4 supply cycle (which also brings
//   back a target that lost its supply); at least one bit, no others.
//   Memory direction 0 write, 1 read. VCC 0 (off) or 1800-3600 mV.
//   Configure mode 0 is verification: with value 1 every flash write is read back and a
//   byte that did not take fails the write. Version 3 takes only the modes its header
//   documents (0, 1, 5, 7, 8, 9, 10, 11, 15, 16); version 2 takes any.
//   Identify fills marker, index (device-list row of the chip's name), name, mainStart,
//   infoStart and ramEnd; infoEnd and mainEnd only for the F4xx line: like older FET
//   libraries it leaves them 0 for F1xx chips, whose standard bounds the caller supplies.

#include "sim/BoardSocket.h"
#include "sim/DeviceModel.h"
#include "sim/SimChipSetup.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pyrola::sim {

enum FetError : int32_t {
    kFetNoError = 0,
    kFetNotInitialized,
    kFetBadPort,
    kFetStateUnreadable,
    kFetStateUnwritable,
    kFetUnknownDevice,
    kFetDeviceMismatch,
    kFetBadFaults,
    kFetSupplyRange,
    kFetNoSupply,
    kFetSecured,
    kFetNotIdentified,
    kFetBadArgument,
    kFetBadAddress,
    kFetEraseFailed,
    kFetWriteFailed,
    kFetPowerLost,
    kFetNotBlank,
    kFetVerifyFailed,
    kFetRecordTooSmall,
    kFetHostCrashed,
    kFetNoTarget,
    kFetFirmwareOld,
    kFetOtherDevice,
    kFetErrorCount
};

enum class FetGeneration { Two = 2, Three = 3 };

// DEVICE_T of the version-3 header: packed, 112 bytes.
inline constexpr int32_t kFetFoundDeviceSize = 112;

class FetTarget {
public:
    // Looks up an environment variable; null when unset. Tests inject their own.
    using Environment = std::function<const char*(const char*)>;
    // Waits the given milliseconds; tests record the waits instead.
    using Sleeper = std::function<void(uint32_t milliseconds)>;

    FetTarget();
    explicit FetTarget(Environment environment);
    FetTarget(Environment environment, Sleeper sleeper, FetGeneration generation = FetGeneration::Two);

    FetGeneration Generation() const { return generation_; }

    int32_t Initialize(const char* port, int32_t* version);
    int32_t Close(int32_t vccOff);
    int32_t Identify(uint8_t* record, int32_t size, int32_t setId);
    int32_t Device(int32_t index, uint8_t* record, int32_t size);
    int32_t Configure(int32_t mode, int32_t value);
    int32_t Vcc(int32_t millivolts);
    int32_t Reset(int32_t method, int32_t execute, int32_t releaseJtag);
    int32_t Erase(int32_t mode, int32_t address, int32_t length);
    int32_t Memory(int32_t address, uint8_t* buffer, int32_t count, int32_t read);
    int32_t VerifyMem(int32_t address, int32_t count, const uint8_t* data);
    int32_t EraseCheck(int32_t address, int32_t length);
    // Version 2: the last error. Version 3: the header's number, cleared by the read.
    int32_t ErrorNumber();
    // This generation's text for a number.
    const char* ErrorText(int32_t number) const;
    // Version 2's own texts.
    static const char* ErrorString(int32_t number);

    // Version 3 only (sim/FetTargetUsb.cpp).
    int32_t GetNumberOfUsbIfs(int32_t* number);
    int32_t GetNameOfUsbIf(int32_t index, char** name, int32_t* status);
    int32_t OpenDevice(const char* device, const char* password, int32_t passwordLength, int32_t deviceCode,
                       int32_t setId);
    int32_t GetFoundDevice(uint8_t* buffer, int32_t count);
    int32_t FwUpdate(const char* file, void* callback, int32_t clientHandle);

    // What a host crash fault does: by default the process ends at once, without any
    // clean-up (status kHostCrashExitStatus). Tests put a recorder here; the erase that
    // crashed then fails and leaves the chip as it was.
    void SetHostCrash(std::function<void()> crash) { hostCrash_ = std::move(crash); }
    static constexpr int kHostCrashExitStatus = 86;

    // The chip behind the library; null before the first Initialize.
    DeviceModel* Model() { return chip_.model.get(); }

    static constexpr int32_t kLibraryVersion = 130;
    static constexpr int32_t kLibraryVersionThree = 30205004;

private:
    int32_t Fail(FetError error);
    bool CheckReady(bool needIdentified);
    bool CheckRange(int32_t address, int32_t count);
    int32_t Persist(); // 0, or the failure when the state file cannot be written
    int32_t InitializeChip(const std::string& port);
    // Version 3: the FETs plugged in, and whether their firmware must be updated first.
    std::vector<std::string> FetNames() const;
    bool FirmwareOld() const;
    // Version 3 refuses what a FET with outdated firmware cannot do.
    bool CheckFirmware();
    bool Generation3() const { return generation_ == FetGeneration::Three; }
    void Pace(); // the cable's delay, once per transfer call

    Environment environment_;
    Sleeper sleeper_;
    FetGeneration generation_ = FetGeneration::Two;
    bool verifyWrites_ = false;
    std::vector<std::string> names_; // GetNameOfUsbIf hands out pointers into these
    uint32_t delayMs_ = 0;
    std::function<void()> hostCrash_;
    SimChip chip_;
    std::unique_ptr<BoardSocket> socket_; // $PYROLA_SIM_BOARD, when set
    std::string socketPath_;
    bool boardAbsent_ = false;
    int32_t error_ = kFetNoError;
    bool initialized_ = false;
    bool identified_ = false;
    int32_t supplyMillivolts_ = 0;
};

} // namespace pyrola::sim
