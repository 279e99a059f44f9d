#include "serialno/SerialConfigCheck.h"

#include "adapters/DeviceTable.h"
#include "base/TextFormat.h"
#include "image/ParseNumber.h"
#include "jobs/SerialPlacement.h"
#include "serialno/SerialBytes.h"
#include "serialno/SerialConfigFile.h"
#include "serialno/SerialFormat.h"

namespace pyrola {

namespace {

bool IsDecimal(char c) {
    return c >= '0' && c <= '9';
}

bool IsHex(char c) {
    return IsDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Digits only, decimal or after "0x" hexadecimal, within 32 bits.
std::optional<uint32_t> WholeNumber(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > (hex ? 8u : 10u))
        return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        if (!(hex ? IsHex(c) : IsDecimal(c)))
            return std::nullopt;
        const uint32_t digit = IsDecimal(c) ? uint32_t(c - '0') : uint32_t((c | 0x20) - 'a' + 10);
        value = value * (hex ? 16 : 10) + digit;
    }
    if (value > 0xFFFFFFFFu)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

// Whether some known device can take the serial in one segment patch, and if not, why.
std::string PlacementProblem(uint32_t address, uint32_t size) {
    bool inFlash = false;
    bool crosses = false;
    for (uint32_t index = 1; index < kDeviceCount; ++index) {
        DeviceRecord device;
        FillDeviceRecord(index, &device);
        const SerialPlacement placement = CheckSerialPlacement(MemoryRangesOf(device), address, size);
        if (placement == SerialPlacement::Fits)
            return {};
        inFlash = inFlash || placement != SerialPlacement::OutsideFlash;
        crosses = crosses || placement == SerialPlacement::CrossesSegment;
    }
    if (!inFlash)
        return Format("Address 0x%X is not in the flash memory of any known device", unsigned(address));
    if (!crosses)
        return Format("Address 0x%X lies in a flash segment that is only partly flash (the segment erase "
                      "would fail on every board)",
                      unsigned(address));
    return Format("A serial of %u bytes at 0x%X does not fit its flash segment", unsigned(size),
                  unsigned(address));
}

} // namespace

std::string SerialNumberProblem(const SerialFormat& format, const std::string& text) {
    const SerialConfig& config = format.Config();
    // "12a" or "1e3" would be read as 12 or 1: a typo that hands out numbers again.
    if (!IsTextSerialType(config.type) && !WholeNumber(text))
        return Format("Serial '%s' is not a whole number", text.c_str());
    if (format.Number() > kLastSerialNumber)
        return Format("Serial '%s' is beyond the last number %u", text.c_str(), unsigned(kLastSerialNumber));
    if (format.Number() > SerialTypeLimit(config.type))
        return Format("Serial '%s' does not fit the type %s", text.c_str(), SerialTypeName(config.type));
    // An erased chip reads as all ones: such a number could not be told from no number.
    const uint32_t width = SerialNumberWidth(config.type);
    if (width != 0 && width < 4 && format.Number() == SerialTypeLimit(config.type))
        return Format("Serial '%s' reads the same as an erased chip (all bytes 0xFF)", text.c_str());
    if (IsTextSerialType(config.type) && config.serial != text)
        return Format("Serial '%s' would be written as '%s'", text.c_str(), config.serial.c_str());
    return {};
}

SerialConfigCheck CheckSerialConfig(const SerialConfigLookup& lookup) {
    SerialConfigCheck check;
    SerialConfig config;
    if (const std::optional<std::string> text = lookup(kSerialConfigAddressKey)) {
        const std::optional<uint32_t> address = WholeNumber(*text);
        if (!address) {
            check.problem = Format("Invalid Address '%s'", text->c_str());
            return check;
        }
        config.address = *address;
    }
    if (const std::optional<std::string> text = lookup(kSerialConfigTypeKey)) {
        const std::optional<uint32_t> type = WholeNumber(*text);
        if (!type || *type >= kSerialTypeCount) {
            check.problem =
                Format("Invalid Type '%s' (0 char *, 1 char[], 2 BYTE, 3 WORD, 4 DWORD)", text->c_str());
            return check;
        }
        config.type = *type;
    }
    const std::optional<std::string> serial = lookup(kSerialConfigSerialKey);
    if (!serial || serial->empty()) {
        check.problem = "No Serial";
        return check;
    }
    if (serial->size() > kMaxSerialTextLength) {
        check.problem = Format("Serial longer than %u characters", unsigned(kMaxSerialTextLength));
        return check;
    }
    config.serial = *serial;
    SerialFormat format(config);
    if (!format.ParseSerial(*serial, true)) {
        check.problem = Format("Invalid Serial '%s'", serial->c_str());
        return check;
    }
    check.problem = SerialNumberProblem(format, *serial);
    if (check.problem.empty())
        check.problem = PlacementProblem(config.address, SerialSize(format));
    if (check.problem.empty())
        check.config = config;
    return check;
}

} // namespace pyrola
