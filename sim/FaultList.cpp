#include "sim/FaultList.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <vector>

namespace pyrola::sim {

namespace {

bool ParseNumber(const std::string& text, uint32_t limit, uint32_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    // Decimal, or hexadecimal after "0x": a leading zero does not mean octal.
    const bool hex = text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == nullptr || *end != '\0' || parsed > limit) {
        return false;
    }
    *value = static_cast<uint32_t>(parsed);
    return true;
}

std::vector<std::string> Split(const std::string& text, const std::string& separators) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : text) {
        if (separators.find(c) != std::string::npos) {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(current);
    return parts;
}

using Action = std::function<void(DeviceModel&, LoaderFaults&)>;

bool ParseLoaderItem(const std::string& key, const std::string& value, bool hasValue,
                     std::vector<Action>* actions) {
    if (!hasValue && key == "wrongpassword") {
        actions->push_back([](DeviceModel&, LoaderFaults& l) { l.refusePasswords = true; });
        return true;
    }
    if (!hasValue && key == "silent") {
        actions->push_back([](DeviceModel&, LoaderFaults& l) { l.silent = true; });
        return true;
    }
    if (hasValue && (key == "drop" || key == "drop-answer")) {
        uint32_t number = 0;
        if (!ParseNumber(value, 0xFFFFFFFFu, &number) || number == 0)
            return false;
        const bool toChip = key == "drop";
        actions->push_back([number, toChip](DeviceModel&, LoaderFaults& l) {
            (toChip ? l.dropToChip : l.dropToHost).insert(number);
        });
        return true;
    }
    return false;
}

bool IsLoaderKey(const std::string& key) {
    return key == "wrongpassword" || key == "silent" || key == "drop" || key == "drop-answer";
}

bool ParseItem(const std::string& item, std::vector<Action>* actions) {
    size_t equals = item.find('=');
    std::string key = item.substr(0, equals);
    std::string value = equals == std::string::npos ? std::string() : item.substr(equals + 1);
    if (IsLoaderKey(key))
        return ParseLoaderItem(key, value, equals != std::string::npos, actions);
    if (equals == std::string::npos) {
        if (key == "securityfuse") {
            actions->push_back([](DeviceModel& m, LoaderFaults&) { m.BlowSecurityFuse(); });
            return true;
        }
        if (key == "locked") {
            actions->push_back([](DeviceModel& m, LoaderFaults&) { m.SetFlashLocked(true); });
            return true;
        }
        if (key == "nocable") {
            actions->push_back([](DeviceModel& m, LoaderFaults&) { m.UnplugJtagCable(); });
            return true;
        }
        return false;
    }
    if (key == "powerloss" || key == "powerloss-write" || key == "powerloss-erase") {
        uint32_t count = 0;
        if (!ParseNumber(value, 0xFFFFFFFFu, &count)) {
            return false;
        }
        FlashOperation kind = key == "powerloss-write"   ? FlashOperation::Program
                              : key == "powerloss-erase" ? FlashOperation::Erase
                                                         : FlashOperation::Any;
        actions->push_back(
            [count, kind](DeviceModel& m, LoaderFaults&) { m.InjectPowerLossAfter(count, kind); });
        return true;
    }
    if (key == "crash-erase") {
        uint32_t count = 0;
        if (!ParseNumber(value, 0xFFFFFFFFu, &count)) {
            return false;
        }
        actions->push_back([count](DeviceModel& m, LoaderFaults&) { m.InjectHostCrashAfter(count); });
        return true;
    }
    if (key == "pause") {
        std::vector<std::string> fields = Split(value, ":");
        uint32_t access = 0, milliseconds = 0;
        if (fields.size() != 2 || !ParseNumber(fields[0], 0xFFFFFFFFu, &access) || access == 0 ||
            !ParseNumber(fields[1], 600000, &milliseconds)) {
            return false;
        }
        actions->push_back([access, milliseconds](DeviceModel& m, LoaderFaults&) {
            m.SchedulePortPause(access, milliseconds);
        });
        return true;
    }
    if (key == "stuck") {
        std::vector<std::string> fields = Split(value, ":");
        uint32_t address = 0, mask = 0, bits = 0;
        if (fields.size() != 3 || !ParseNumber(fields[0], kAddressSpaceSize - 1, &address) ||
            !ParseNumber(fields[1], 0xFF, &mask) || !ParseNumber(fields[2], 0xFF, &bits)) {
            return false;
        }
        actions->push_back([address, mask, bits](DeviceModel& m, LoaderFaults&) {
            m.SetStuckBits(address, static_cast<uint8_t>(mask), static_cast<uint8_t>(bits));
        });
        return true;
    }
    return false;
}

} // namespace

bool ApplyFaultList(const std::string& text, DeviceModel& model, std::string* error, LoaderFaults* loader) {
    std::vector<Action> actions;
    for (const std::string& item : Split(text, ",; \t")) {
        if (item.empty()) {
            continue;
        }
        if (loader == nullptr && IsLoaderKey(item.substr(0, item.find('=')))) {
            if (error != nullptr) {
                *error = "fault \"" + item + "\" applies to the bootstrap loader only";
            }
            return false;
        }
        if (!ParseItem(item, &actions)) {
            if (error != nullptr) {
                *error = "unknown or malformed fault \"" + item + "\"";
            }
            return false;
        }
    }
    LoaderFaults ignored;
    for (const Action& action : actions) {
        action(model, loader != nullptr ? *loader : ignored);
    }
    return true;
}

} // namespace pyrola::sim
