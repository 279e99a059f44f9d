#include "cli/SerialReservation.h"

#include "image/FilePath.h"
#include "jobs/SerialPlacement.h"
#include "platform/AtomicFile.h"
#include "platform/FileFacts.h"
#include "platform/FileLock.h"
#include "platform/ProfileFile.h"
#include "serial/SerialBytes.h"
#include "serial/SerialConfigCheck.h"
#include "serial/SerialConfigFile.h"
#include "serial/SerialFormat.h"
#include "ui/TextFormat.h"

namespace pyrola::cli {

namespace {

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

// How a .sprj file's text is written beyond the profile rules: a byte-order mark in front,
// CR alone as the line end. Read with both taken away, written back with both restored.
struct TextForm {
    bool byteOrderMark = false;
    bool carriageReturnsOnly = false;
};

std::string Plain(const std::string& text, TextForm& form) {
    std::string plain = text;
    form.byteOrderMark = plain.rfind(kByteOrderMark, 0) == 0;
    if (form.byteOrderMark)
        plain.erase(0, 3);
    form.carriageReturnsOnly = plain.find('\r') != std::string::npos && plain.find('\n') == std::string::npos;
    if (form.carriageReturnsOnly) {
        for (char& c : plain) {
            if (c == '\r')
                c = '\n';
        }
    }
    return plain;
}

std::string Restored(const std::string& plain, const TextForm& form) {
    std::string text = plain;
    if (form.carriageReturnsOnly) {
        for (char& c : text) {
            if (c == '\n')
                c = '\r';
        }
    }
    return form.byteOrderMark ? kByteOrderMark + text : text;
}

SerialConfigCheck CheckText(const std::string& plain) {
    // Every value the program writes ends its line: a file that stops inside its last line
    // may have been cut short in the middle of a number.
    if (!plain.empty() && plain.back() != '\n') {
        SerialConfigCheck cut;
        cut.problem = "the file ends inside a line (it may be cut short)";
        return cut;
    }
    return CheckSerialConfig(
        [&plain](const char* key) { return ProfileLookup(plain, kSerialConfigSection, key); });
}

} // namespace

std::string SerialReservation::Problem(const std::string& what) const {
    return Format("Serial config \"%s\": %s", FileNamePart(path_).c_str(), what.c_str());
}

std::string SerialReservation::Load(SerialBlock& block, bool forWriting) {
    const FileFacts facts = ExamineFile(path_);
    if (facts.exists && !facts.regular)
        return Problem("not a regular file");
    // Each name would be replaced on its own: two names, one number twice.
    if (facts.links > 1)
        return Problem(Format("the file has %u hard links; replacing it would part them and hand out "
                              "numbers twice (give each line its own copy, or use a symbolic link)",
                              unsigned(facts.links)));
    if (forWriting && facts.exists && !facts.writable)
        return Problem("the file may not be written, so no next number could be stored");
    if (forWriting && facts.exists && !facts.folderWritable)
        return Problem("its folder may not be written, so no next number could be stored");
    std::string text;
    {
        // Also for reading: on Windows an open file cannot be replaced by another program.
        FileLock lock(LockPathFor(path_));
        if (!lock.Held())
            return Problem("can't lock it");
        if (!ReadWholeFile(path_, text))
            return Problem("can't read the file");
    }
    TextForm form;
    const SerialConfigCheck check = CheckText(Plain(text, form));
    if (!check.config)
        return Problem(check.problem);
    config_ = *check.config;
    SerialFormat format(config_);
    format.ParseSerial(config_.serial, true);
    ComposeSerialBytes(format, block);
    return {};
}

SerialWritePreparation SerialReservation::Reserve(const DeviceRecord& device, SerialBlock& block) {
    if (ExamineFile(path_).links > 1)
        return {false, Problem("the file has more than one hard link; no number was taken")};
    FileLock lock(LockPathFor(path_));
    if (!lock.Held())
        return {false, Problem("can't lock it; no number was taken")};
    std::string text;
    if (!ReadWholeFile(path_, text))
        return {false, Problem("can't read the file; no number was taken")};
    TextForm form;
    text = Plain(text, form);
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
    if (!updated || !ReplaceFileAtomically(path_, Restored(*updated, form)))
        return {false, Problem("can't store the next number; no number was taken")};
    {
        std::lock_guard<std::mutex> guard(mutex_);
        reserved_ = serial;
    }
    if (recordReservation) {
        const std::string why = recordReservation(serial, device);
        if (!why.empty())
            return {false, Format("Serial number %s was taken but the log could not record it (%s); the "
                                  "chip was not written",
                                  serial.c_str(), why.c_str())};
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
