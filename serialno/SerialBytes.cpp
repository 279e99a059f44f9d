#include "serialno/SerialBytes.h"

#include "base/TextFormat.h"

#include <algorithm>

namespace pyrola {

void ComposeSerialBytes(const SerialFormat& format, SerialBlock& block) {
    const SerialConfig& config = format.Config();
    std::vector<uint8_t> bytes;
    if (IsTextSerialType(config.type)) {
        bytes.assign(config.serial.begin(), config.serial.end());
        if (config.type == kSerialCharPointer)
            bytes.push_back(0);
    } else {
        const uint32_t number = format.Number();
        for (uint32_t i = 0; i < SerialNumberWidth(config.type); ++i)
            bytes.push_back(static_cast<uint8_t>(number >> (8 * i)));
    }
    block.bytes = std::move(bytes);
    block.address = config.address;
    block.valid = 1;
}

uint32_t SerialSize(const SerialFormat& format) {
    const SerialConfig& config = format.Config();
    const uint32_t length = static_cast<uint32_t>(config.serial.size());
    switch (config.type) {
    case kSerialCharPointer:
        return length + 1;
    case kSerialCharArray:
        return length;
    default:
        return SerialNumberWidth(config.type);
    }
}

std::string DecodeSerial(const SerialBlock& block, uint32_t type) {
    if (!block.valid || SerialAreaErased(block))
        return kSerialUnknownText;
    if (IsTextSerialType(type)) {
        // A text shorter than the place read ends at its zero byte, or at the erased
        // bytes after it when it was written without one.
        const auto end = std::find_if(block.bytes.begin(), block.bytes.end(),
                                      [](uint8_t byte) { return byte == 0x00 || byte == 0xFF; });
        const std::string text(block.bytes.begin(), end);
        // Only the check: the dialog's own format must not change.
        SerialConfig probeConfig;
        probeConfig.type = type;
        SerialFormat probe(probeConfig);
        return probe.ParseSerial(text, false) ? text : kSerialUnknownText;
    }
    const uint32_t width = SerialNumberWidth(type);
    if (width == 0 || block.bytes.size() < width)
        return kSerialUnknownText;
    uint32_t number = 0;
    for (uint32_t i = 0; i < width; ++i)
        number |= uint32_t(block.bytes[i]) << (8 * i);
    return Format("%u", number);
}

bool SerialAreaErased(const SerialBlock& block) {
    return !block.bytes.empty() &&
           std::all_of(block.bytes.begin(), block.bytes.end(), [](uint8_t byte) { return byte == 0xFF; });
}

} // namespace pyrola
