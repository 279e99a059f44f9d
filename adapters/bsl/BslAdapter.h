#pragma once
// The adapter that programs an MSP430 through its ROM bootstrap loader over a COM port:
// start the loader, unlock it with the password (the interrupt vectors), identify the
// device and the loader version, load a patch into old loaders, switch to a faster line
// when asked and the loader can, erase, blank check, read and write memory, reset.
// Verification and the 1-Wire hook are not available.

#include "adapters/TargetAdapter.h"
#include "adapters/bsl/BslLineOptions.h"
#include "adapters/bsl/BslPassword.h"
#include "adapters/bsl/BslPatch.h"
#include "adapters/bsl/BslProtocol.h"
#include "adapters/bsl/SerialLink.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pyrola {

// Loaders up to this version need the patch (the guide calls it mandatory for them).
inline constexpr uint32_t kBslOldVersionLimit = 0x0110;
// From this version on the ROM loader has the erase-check command.
inline constexpr uint32_t kBslEraseCheckVersion = 0x0150;
// From this version on the loader's check after a segment erase in information memory
// spans all of it.
inline constexpr uint32_t kBslWholeInfoCheckVersion = 0x0160;
// The first loader version whose mass erase is complete in one frame.
inline constexpr uint32_t kBslOneFrameMassEraseVersion = 0x0161;
// From this version on the loader reads back each byte it programs (online verification).
inline constexpr uint32_t kBslOnlineVerifyVersion = 0x0140;
// Mass erase frames an unpatched loader before 1.61 needs, and main-memory erase frames every ROM
// loader needs, for the full cumulative erase time.
inline constexpr uint32_t kBslOldMassEraseRepeats = 20;
// Where an old loader is re-entered before the patch is loaded.
inline constexpr uint32_t kBslLoaderReentry = 0x0C22;
// Device-table row used when the caller proposes none ("DEFAULT").
inline constexpr uint32_t kBslDefaultDevice = 43;

class BslAdapter : public TargetAdapter {
public:
    BslAdapter(SerialPortFactory& ports, Clock& clock);

    const char* GetName() override { return "BSL"; }
    uint32_t GetBlockSize() override { return kBslMaxBlock; }
    bool Open() override;
    bool Close() override;
    int32_t GetErrorNumber() override;
    const char* GetErrorText(int32_t number) override { return BslProtocol::ErrorText(number); }
    int32_t Erase(uint32_t mode, uint32_t address, uint32_t length) override;
    int32_t EraseCheck(uint32_t address, uint32_t length) override;
    int32_t WriteMemory(uint32_t address, const uint8_t* data, uint32_t count) override;
    int32_t ReadMemory(uint32_t address, uint8_t* data, uint32_t count) override;
    int32_t VerifyMemory(uint32_t address, const uint8_t* data, uint32_t count) override;
    int32_t Reset(uint32_t method, uint32_t execute, uint32_t releaseJtag) override;
    int32_t DebugOneWire() override;

    // Whether a loader answers on the port: the entry sequence and the synchronisation,
    // nothing more. No password is sent: a wrong one makes some loaders erase the chip.
    // The port is closed again.
    bool Answers();

    // Steps of Open and of the preparation before memory operations.
    // Sends the password and confirms it with a protected command; on a refusal the
    // erased-device password is tried the same way. Error 13 when both are refused.
    bool Unlock();
    bool Identify();
    bool LoadPatch();
    // Asks the identified loader for lineOptions.baudRate and follows with the port; a
    // loader that cannot change gets one note and stays at 9600 baud.
    void ChangeSpeed();
    bool IsOldLoader() const { return loaderVersion <= kBslOldVersionLimit; }
    // Whether the identified loader (or its running patch) has the erase-check command;
    // without it a blank check reads the range back.
    bool HasEraseCheck() const;

    // Set by the shell and the job start.
    uint8_t patchEnabled = 0;                  // from the "BslPatch" setting
    BslPassword password = kBslErasedPassword; // the target's interrupt vectors
    std::string patchFilePath;                 // "bslpatch.txt" beside the program; empty = unknown
    BslLineOptions lineOptions;                // speed and cable wiring, from the settings

    // State.
    uint8_t needPassword = 1;       // unlock before the next protected operation
    uint8_t needIdentification = 1; // read version and identity before the next memory operation
    uint32_t patchStart = 0;        // address the running patch was started at; 0 = none
    uint32_t loaderVersion = 0;     // 0x0FFA * 256 + 0x0FFB; 0 = not read yet
    uint32_t identifiedDevice = 0;  // device-table row of the last identification
    uint8_t identificationHigh = 0; // first byte of the chip's identification (its family)

    SerialLink& link() { return link_; }
    BslProtocol& protocol() { return protocol_; }

private:
    void FillRecord(uint32_t index);
    // Opens the port as the loader expects it; on failure error 1 and a note with the reason.
    bool OpenLink();
    // After a successful identification: adopt it and load the patch an old loader needs.
    void FinishIdentification();
    bool Prepared();
    bool TryPassword(const BslPassword& candidate);
    // Once a session, before erasing or programming an old loader that runs unpatched.
    void WarnOldLoader();
    void ForgetTarget();
    // Ends a failed patch load: error 11 and a note with the reason.
    bool PatchFailed(std::string problem);

    SerialLink link_;
    BslProtocol protocol_;
    std::vector<uint8_t> patchReadBack_;
    // Why no patch runs on an old loader, for the note that goes with error 12; empty
    // while a patch runs or before one was tried.
    std::string patchProblem_;
    // The note that the loader stays at 9600 baud is given once a session.
    bool speedNoteGiven_ = false;
    bool lockedNoted_ = false;
    bool oldLoaderWarned_ = false;
    bool blankWayNoted_ = false;
    bool goneNoted_ = false;
};

} // namespace pyrola
