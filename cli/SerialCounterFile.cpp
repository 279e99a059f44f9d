#include "cli/SerialCounterFile.h"

#include "base/TextFormat.h"
#include "platform/AtomicFile.h"
#include "platform/FileFacts.h"
#include "platform/FileLock.h"
#include "platform/ProfileFile.h"
#include "serialno/SerialConfigCheck.h"
#include "serialno/SerialConfigFile.h"
#include "serialno/SerialFormat.h"

#include <optional>

namespace pyrola {

namespace {

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

// How a file's text is written beyond the profile rules: a byte-order mark in front, CR
// alone as the line end. Read with both taken away, written back with both restored.
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
    // Every value the programs write ends its line: a file that stops inside its last line
    // may have been cut short in the middle of a number.
    if (!plain.empty() && plain.back() != '\n') {
        SerialConfigCheck cut;
        cut.problem = "the file ends inside a line (it may be cut short)";
        return cut;
    }
    // Two Serial= lines (or two [Options] sections): the programs would step the first
    // while a person edits the other.
    const std::string repeated = ProfileRepeatedKey(plain, kSerialConfigSection);
    if (!repeated.empty()) {
        SerialConfigCheck twice;
        twice.problem = Format("%s= stands twice in [%s]: keep one", repeated.c_str(), kSerialConfigSection);
        return twice;
    }
    return CheckSerialConfig(
        [&plain](const char* key) { return ProfileLookup(plain, kSerialConfigSection, key); });
}

std::string HardLinkProblem(uint32_t links) {
    return Format("the file has %u hard links; replacing it would part them and hand out numbers twice (give "
                  "each line its own copy, or use a symbolic link)",
                  unsigned(links));
}

// The counter a file's serial holds, read in the file's own form. Compared whatever the
// form: a board holds its number's digits whether they were placed as text or as a word,
// so a change of type, width, prefix or place that starts the counter lower again would
// give a board a number another board already has.
std::optional<uint32_t> CounterOf(const SerialConfig& file) {
    SerialConfig copy = file;
    SerialFormat format(copy);
    if (!format.ParseSerial(file.serial, true))
        return std::nullopt;
    return format.Number();
}

class SystemSerialFile : public SharedSerialFile {
public:
    SerialTake Take(const std::string& path,
                    const std::function<std::string(const SerialConfig&)>& accept) override {
        const SerialFileRead read = ReadSerialCounterFile(path, true);
        if (!read.problem.empty()) {
            SerialTake refused;
            refused.problem = read.problem;
            return refused;
        }
        return TakeSerialNumber(path, accept);
    }
    std::string Store(const std::string& path, const SerialConfig& config) override {
        return StoreSerialConfig(path, config);
    }
};

// The configuration with its serial as the device and the log show it: a number given in
// hexadecimal ("0x1F") becomes the decimal the file is stepped in ("31").
SerialConfig Rendered(const SerialConfig& config) {
    SerialConfig rendered = config;
    SerialFormat format(rendered);
    format.ParseSerial(config.serial, true);
    return rendered;
}

} // namespace

SerialFileRead ReadSerialCounterFile(const std::string& path, bool forWriting) {
    SerialFileRead read;
    const FileFacts facts = ExamineFile(path);
    if (facts.exists && !facts.regular)
        read.problem = "not a regular file";
    // Each name would be replaced on its own: two names, one number twice.
    else if (facts.links > 1)
        read.problem = HardLinkProblem(facts.links);
    else if (forWriting && facts.exists && !facts.writable)
        read.problem = "the file may not be written, so no next number could be stored";
    else if (forWriting && facts.exists && !facts.folderWritable)
        read.problem = "its folder may not be written, so no next number could be stored";
    if (!read.problem.empty())
        return read;
    std::string text;
    {
        // Also for reading: on Windows an open file cannot be replaced by another program.
        FileLock lock(LockPathFor(path));
        if (!lock.Held()) {
            read.problem = "can't lock it";
            return read;
        }
        if (!ReadWholeFile(path, text)) {
            read.problem = "can't read the file";
            return read;
        }
    }
    TextForm form;
    const SerialConfigCheck check = CheckText(Plain(text, form));
    if (check.config)
        read.config = Rendered(*check.config);
    else
        read.problem = check.problem;
    return read;
}

SerialTake TakeSerialNumber(const std::string& path,
                            const std::function<std::string(const SerialConfig&)>& accept) {
    SerialTake take;
    const FileFacts facts = ExamineFile(path);
    if (facts.links > 1) {
        take.problem = HardLinkProblem(facts.links);
        return take;
    }
    FileLock lock(LockPathFor(path));
    if (!lock.Held()) {
        take.problem = "can't lock it";
        return take;
    }
    std::string text;
    if (!ReadWholeFile(path, text)) {
        take.problem = "can't read the file";
        return take;
    }
    TextForm form;
    text = Plain(text, form);
    const SerialConfigCheck check = CheckText(text);
    if (!check.config) {
        take.problem = check.problem;
        return take;
    }
    take.config = Rendered(*check.config);
    if (accept) {
        take.problem = accept(take.config);
        if (!take.problem.empty())
            return take;
    }
    SerialConfig next = take.config;
    SerialFormat format(next);
    format.ParseSerial(next.serial, true);
    // A number past the type's range is refused by the next take's check.
    format.SetNumber(format.Number() + 1);
    format.RenderSerial();
    take.next = next.serial;
    const std::optional<std::string> updated =
        ProfileUpdate(text, kSerialConfigSection, kSerialConfigSerialKey, take.next);
    if (!updated || !ReplaceFileAtomically(path, Restored(*updated, form)))
        take.problem = "can't store the next number";
    return take;
}

std::string StoreSerialConfig(const std::string& path, const SerialConfig& config) {
    const FileFacts facts = ExamineFile(path);
    if (facts.exists && !facts.regular)
        return "not a regular file";
    if (facts.links > 1)
        return HardLinkProblem(facts.links);
    FileLock lock(LockPathFor(path));
    if (!lock.Held())
        return "can't lock it";
    std::string text;
    TextForm form;
    if (facts.exists) {
        if (!ReadWholeFile(path, text))
            return "can't read the file";
        text = Plain(text, form);
        // Only a counter the file holds in full can be compared; a damaged file is replaced.
        const SerialConfigCheck check = CheckText(text);
        if (check.config) {
            SerialConfig saved = config;
            SerialFormat savedFormat(saved);
            const std::optional<uint32_t> fileNumber = CounterOf(*check.config);
            if (fileNumber && savedFormat.ParseSerial(config.serial, true) &&
                *fileNumber > savedFormat.Number())
                return Format("the file is already at %s, past %s: the numbers between may be on boards "
                              "already (Open the file to go on from its number, or start a new series "
                              "in a new file)",
                              check.config->serial.c_str(), config.serial.c_str());
        }
    }
    std::optional<std::string> updated = text;
    for (const auto& [key, value] :
         {std::pair<const char*, std::string>{kSerialConfigAddressKey, Format("%d", int(config.address))},
          {kSerialConfigTypeKey, Format("%d", int(config.type))},
          {kSerialConfigSerialKey, config.serial}}) {
        if (updated)
            updated = ProfileUpdate(*updated, kSerialConfigSection, key, value);
    }
    if (updated && !facts.exists) {
        // A new file gets the line ends the Windows profile functions write.
        std::string crlf;
        for (char c : *updated)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        updated = crlf;
    }
    if (!updated || !ReplaceFileAtomically(path, Restored(*updated, form)))
        return "can't write the file";
    return {};
}

SharedSerialFile& SystemSharedSerialFile() {
    static SystemSerialFile file;
    return file;
}

} // namespace pyrola
