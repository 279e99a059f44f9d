#include "cli/SerialReservation.h"

#include "base/TextFormat.h"
#include "cli/SerialCounterFile.h"
#include "image/FilePath.h"
#include "jobs/SerialPlacement.h"
#include "serialno/SerialBytes.h"
#include "serialno/SerialFormat.h"

namespace pyrola::cli {

std::string SerialReservation::Problem(const std::string& what) const {
    return Format("Serial config \"%s\": %s", FileNamePart(path_).c_str(), what.c_str());
}

std::string SerialReservation::Load(SerialBlock& block, bool forWriting) {
    const SerialFileRead read = ReadSerialCounterFile(path_, forWriting);
    if (!read.problem.empty())
        return Problem(read.problem);
    config_ = read.config;
    SerialFormat format(config_);
    format.ParseSerial(config_.serial, true);
    ComposeSerialBytes(format, block);
    return {};
}

namespace {

// The serial text of the file's series that bytes hold: its form to the letter (prefix,
// digit count, suffix, type) and a number the file has handed out already. Empty otherwise.
std::string SeriesSerialIn(const std::vector<uint8_t>& bytes, const std::string& path) {
    const SerialFileRead read = ReadSerialCounterFile(path, false);
    if (!read.problem.empty())
        return {};
    SerialBlock found;
    found.bytes = bytes;
    found.valid = 1; // read from the chip
    if (SerialAreaErased(found))
        return {};
    const std::string text = DecodeSerial(found, read.config.type);
    SerialConfig file = read.config;
    SerialFormat fileFormat(file);
    if (!fileFormat.ParseSerial(file.serial, true))
        return {};
    const uint32_t next = fileFormat.Number();
    SerialConfig candidate = read.config;
    SerialFormat candidateFormat(candidate);
    if (!candidateFormat.ParseSerial(text, true) || candidateFormat.Number() >= next)
        return {};
    // Rendered in the file's form, the number must give the same text back.
    fileFormat.SetNumber(candidateFormat.Number());
    fileFormat.RenderSerial();
    return file.serial == text ? text : std::string();
}

} // namespace

SerialWritePreparation SerialReservation::Reserve(const DeviceRecord& device, SerialBlock& block) {
    if (keepOnBoard && onBoard) {
        if (const std::string kept = SeriesSerialIn(*onBoard, path_); !kept.empty()) {
            SerialConfig config = config_;
            SerialFormat format(config);
            format.ParseSerial(kept, true);
            SerialBlock bytes;
            ComposeSerialBytes(format, bytes);
            if (CheckSerialPlacement(MemoryRangesOf(device), block.address,
                                     static_cast<uint32_t>(bytes.bytes.size())) == SerialPlacement::Fits) {
                block.bytes = std::move(bytes.bytes);
                {
                    std::lock_guard<std::mutex> guard(mutex_);
                    reserved_ = kept;
                }
                return {true, Format("Serial number %s kept: the board holds it from \"%s\" already (no "
                                     "new number taken)",
                                     kept.c_str(), FileNamePart(path_).c_str())};
            }
        }
    }
    const SerialTake take = TakeSerialNumber(path_, [&](const SerialConfig& config) -> std::string {
        SerialConfig copy = config;
        SerialFormat format(copy);
        format.ParseSerial(copy.serial, true);
        const uint32_t size = SerialSize(format);
        if (config.address != block.address)
            return Format("its Address changed to 0x%X during the run", unsigned(config.address));
        if (CheckSerialPlacement(MemoryRangesOf(device), config.address, size) != SerialPlacement::Fits)
            return Format("a serial of %u bytes at 0x%X does not fit the flash of %s", unsigned(size),
                          unsigned(config.address), DeviceRecordName(device).c_str());
        if (acceptSerial) {
            SerialBlock candidate;
            ComposeSerialBytes(format, candidate);
            if (std::string why = acceptSerial(candidate); !why.empty())
                return why;
        }
        // The RESERVED line before the number is stored, under the file's lock: a log that
        // cannot take it (a full disk) leaves the number untaken, never taken unrecorded.
        if (recordReservation) {
            if (const std::string why = recordReservation(config.serial, device); !why.empty())
                return Format("the log could not record %s (%s)", config.serial.c_str(), why.c_str());
        }
        return {};
    });
    if (!take.problem.empty())
        return {false, Problem(take.problem + "; no number was taken")};
    const std::string& serial = take.config.serial;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        reserved_ = serial;
    }
    SerialConfig taken = take.config;
    SerialFormat format(taken);
    format.ParseSerial(taken.serial, true);
    SerialBlock reserved;
    ComposeSerialBytes(format, reserved);
    block.bytes = std::move(reserved.bytes);
    return {true, Format("Serial number %s reserved (%s stored as the next in \"%s\")", serial.c_str(),
                         take.next.c_str(), FileNamePart(path_).c_str())};
}

std::optional<std::string> SerialReservation::Reserved() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return reserved_;
}

} // namespace pyrola::cli
