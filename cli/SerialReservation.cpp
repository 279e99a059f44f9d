#include "cli/SerialReservation.h"

#include "image/FilePath.h"
#include "jobs/SerialPlacement.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/ProfileFile.h"
#include "serial/SerialBytes.h"
#include "serial/SerialConfigCheck.h"
#include "serial/SerialConfigFile.h"
#include "serial/SerialFormat.h"
#include "ui/TextFormat.h"

namespace pyrola::cli {

namespace {

SerialConfigCheck CheckText(const std::string& text) {
    return CheckSerialConfig(
        [&text](const char* key) { return ProfileLookup(text, kSerialConfigSection, key); });
}

} // namespace

std::string SerialReservation::Problem(const std::string& what) const {
    return Format("Serial config \"%s\": %s", FileNamePart(path_).c_str(), what.c_str());
}

std::string SerialReservation::Load(SerialBlock& block) {
    std::string text;
    {
        // Also for reading: on Windows an open file cannot be replaced by another program.
        FileLock lock(path_ + ".lock");
        if (!lock.Held())
            return Problem("can't lock it");
        if (!ReadWholeFile(path_, text))
            return Problem("can't read the file");
    }
    const SerialConfigCheck check = CheckText(text);
    if (!check.config)
        return Problem(check.problem);
    config_ = *check.config;
    SerialFormat format(config_);
    format.ParseSerial(config_.serial, true);
    ComposeSerialBytes(format, block);
    return {};
}

SerialWritePreparation SerialReservation::Reserve(const DeviceRecord& device, SerialBlock& block) {
    FileLock lock(path_ + ".lock");
    if (!lock.Held())
        return {false, Problem("can't lock it; no number was taken")};
    std::string text;
    if (!ReadWholeFile(path_, text))
        return {false, Problem("can't read the file; no number was taken")};
    const SerialConfigCheck check = CheckText(text);
    if (!check.config)
        return {false, Problem(check.problem + "; no number was taken")};
    SerialConfig config = *check.config;
    SerialFormat format(config);
    format.ParseSerial(config.serial, true);
    const uint32_t size = SerialSize(format);
    if (config.address != block.address)
        return {false, Problem(Format("its Address changed to 0x%X during the run; no number was taken",
                                      unsigned(config.address)))};
    if (CheckSerialPlacement(device, config.address, size) != SerialPlacement::Fits)
        return {false, Problem(Format("a serial of %u bytes at 0x%X does not fit the flash of %s; no number "
                                      "was taken",
                                      unsigned(size), unsigned(config.address), device.name))};

    const std::string serial = config.serial;
    SerialBlock reserved;
    ComposeSerialBytes(format, reserved);
    // The next board's number, without the types' wrap to 0: a wrapped number would be one
    // given out before. A number past the type's range is refused by the next run's check.
    format.SetNumber(format.Number() + 1);
    format.RenderSerial();
    const std::string next = config.serial;
    const std::optional<std::string> updated =
        ProfileUpdate(text, kSerialConfigSection, kSerialConfigSerialKey, next);
    if (!updated || !ReplaceFileAtomically(path_, *updated))
        return {false, Problem("can't store the next number; no number was taken")};
    {
        std::lock_guard<std::mutex> guard(mutex_);
        reserved_ = serial;
    }
    block.bytes = std::move(reserved.bytes);
    return {true, Format("Serial number %s reserved (%s stored as the next in \"%s\")", serial.c_str(),
                         next.c_str(), FileNamePart(path_).c_str())};
}

std::optional<std::string> SerialReservation::Reserved() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return reserved_;
}

} // namespace pyrola::cli
