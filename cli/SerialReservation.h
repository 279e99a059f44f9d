#pragma once
// The headless program's serial numbers from a ".sprj" file, one board per run, never one
// number for two boards. The number for this board is taken at the last moment before the
// device changes (from the write step, once every earlier step passed): under a lock
// beside the file, the file is read, the number after this one is stored (a whole new file
// renamed over the old one), and only then is this number written to the device. A crash
// or power cut after that can skip a number, never repeat one.
//
// The file keeps the text rules of the dialog's profile files on both systems: only the
// Serial line changes, everything else in the file stays as it was (a byte-order mark and
// CR-only line ends too). The lock file lies beside the file the path finally names (its
// name with ".lock" appended), so a symbolic link and the plain path share it; it goes with
// its last holder. A file with more than one hard link is refused, since replacing it would
// part the names.

#include "adapters/DeviceRecord.h"
#include "jobs/JobEngine.h"
#include "jobs/SerialBlock.h"
#include "serialno/SerialConfig.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pyrola::cli {

class SerialReservation {
public:
    explicit SerialReservation(std::string path) : path_(std::move(path)) {}

    // Reads and checks the file (under its lock); on success the block gets the current
    // serial's bytes and address (what a read fetches, and where a write goes). forWriting:
    // the file must also be one the next number can be stored in. Empty when the file is
    // usable, else why not.
    std::string Load(SerialBlock& block, bool forWriting = false);
    const SerialConfig& Config() const { return config_; }

    // The write step's preparation, on the worker: the board's number is reserved and its
    // bytes put into block. Fails, with nothing stored, when the file cannot be locked,
    // read or replaced, no longer checks out, or its serial does not fit this device.
    SerialWritePreparation Reserve(const DeviceRecord& device, SerialBlock& block);
    // The serial this run reserved (or kept), if any.
    std::optional<std::string> Reserved() const;

    // What the board held at the serial's place before the list changed it (set on the
    // worker by the attach's look, when asked for). With keepOnBoard, a serial of this
    // file's series found there (its form, a number the file gave out already) is written
    // again instead of a new number: a board programmed twice keeps its one number.
    std::optional<std::vector<uint8_t>> onBoard;
    bool keepOnBoard = false;

    // Called by Reserve once the next number is stored and before the device changes, with
    // the number taken and the device: records the reservation (the production log's
    // RESERVED line). A non-empty answer says why it could not: the number stays taken,
    // the device is not written. Set before the job starts.
    std::function<std::string(const std::string& serial, const DeviceRecord& device)> recordReservation;
    // Called by Reserve with the bytes and place of the number about to be taken (it may be
    // longer than the one Load saw): a non-empty answer refuses it, and nothing is taken.
    std::function<std::string(const SerialBlock& serial)> acceptSerial;

private:
    std::string Problem(const std::string& what) const;

    std::string path_;
    SerialConfig config_;
    mutable std::mutex mutex_; // reserved_: set on the worker, read by the main thread
    std::optional<std::string> reserved_;
};

} // namespace pyrola::cli
