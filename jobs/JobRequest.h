#pragma once
// What a front end asks of the job lists it starts beyond their step flags and priority
// (given with each start): hooks the worker runs at fixed points of a list, the checks it
// adds, and the device the chip must be. Handed to the engine as a value
// (JobEngine::SetRequest) while no worker runs; it holds for every later list.

#include "adapters/DeviceRecord.h"
#include "jobs/SerialBlock.h"

#include <cstdint>
#include <functional>
#include <string>

namespace pyrola {

// What a front end's preparation of a serial write decided.
struct SerialWritePreparation {
    bool ok = true;   // false: the step fails without touching the device
    std::string note; // logged (as the failure's reason when ok is false); may be empty
};

inline constexpr uint32_t kMismatchesListed = 8;

struct JobRequest {
    // Runs inside the write-serial step on the worker, with the attached device's record,
    // after the segment was backed up and before the device is changed: it may put other
    // bytes of the same serial place into the block (the headless program reserves the
    // board's number only here, once every earlier step of the list passed and the device
    // answered). A changed address, bytes that leave the segment or ok false fail the step
    // with the device unchanged. Null: the block is written as the main thread left it.
    std::function<SerialWritePreparation(const DeviceRecord& device, SerialBlock& block)> prepareSerialWrite;
    // Runs on the worker right after a successful attach, before any step can change the
    // chip, with the identified device's record: a non-empty text refuses the list (shown
    // in the error colour; the list ends with the chip as it was).
    std::function<std::string(const DeviceRecord& device)> checkAttachedDevice;
    // Runs on the worker after the attach and its checks passed, before any step can change
    // the chip, with a reader of the chip's memory (true when the bytes were read): the
    // headless program looks at what the board holds where its serial goes. Null: nothing.
    std::function<void(const DeviceRecord& device,
                       const std::function<bool(uint32_t address, uint8_t* data, uint32_t count)>& read)>
        inspectAttached;
    // The serial write then checks the whole segment it rewrote against the image (the
    // image's bytes where it holds any, the serial over them, the chip's former bytes
    // elsewhere): for a list that programmed or verified the image.
    bool checkSerialAgainstImage = false;
    // A device row the identified chip must be (0: any). The attach fails, naming both, when
    // the chip identifies as another row; where the adapter cannot tell, the engine's device
    // index proposes it.
    uint32_t requiredDevice = 0;
    // How many mismatches a failed verify lists after its count (address, expected, found);
    // 0 lists them all.
    uint32_t mismatchesListed = kMismatchesListed;
};

} // namespace pyrola
