#include "adapters/bsl/BslProtocol.h"

#include <algorithm>
#include <cstring>

namespace pyrola {

uint16_t BslChecksum(const uint8_t* bytes, uint32_t count) {
    uint16_t sum = 0;
    for (uint32_t i = 0; i + 1 < count; i += 2)
        sum ^= static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
    return static_cast<uint16_t>(~sum);
}

bool BslProtocol::Sync() {
    for (uint32_t attempt = 0; attempt < kBslSyncAttempts; ++attempt) {
        if (link_.gone) {
            // Nothing will ever answer on a port that is no longer there.
            errorNumber = kBslUnspecific;
            return false;
        }
        link_.Purge(kPurgeRxClear);
        const uint8_t request = kBslSync;
        link_.Write(&request, 1);
        uint8_t reply = 0;
        if (link_.ReadWait(&reply, 1, kBslSyncWaitMs) == 1 && reply == kBslAck)
            return true;
        if (onRetry)
            onRetry("Sync attempt " + std::to_string(attempt + 1) + " of " +
                    std::to_string(kBslSyncAttempts) + " got no acknowledgement");
    }
    errorNumber = kBslSyncFailed;
    return false;
}

bool BslProtocol::Exchange(uint32_t frameLength) {
    // Nothing of an earlier answer may pass for part of this one.
    std::memset(answer, 0, sizeof(answer));
    link_.Purge(kPurgeRxAbort | kPurgeRxClear);
    // One byte at a time: a loader that refuses the frame half-way answers at once, and
    // the rest of the frame is not sent.
    uint32_t sent = 0;
    while (sent < frameLength) {
        link_.Write(&frame[sent++], 1);
        if (link_.PollInput() > 0)
            break;
    }
    if (link_.WaitForInput(1, link_.headerMultiplier * link_.phaseTimeout) < 1 ||
        link_.ReadWait(answer, 1, link_.phaseTimeout) != 1) {
        errorNumber = link_.gone ? kBslUnspecific : kBslHeaderTimeout;
        return false;
    }
    switch (answer[0]) {
    case kBslAck:
        errorNumber = kBslNoError;
        break;
    case kBslNak:
        errorNumber = kBslNakReceived;
        break;
    case kBslFailed:
        errorNumber = kBslCommandFailed;
        break;
    case kBslHeader: {
        if (link_.ReadWait(answer + 1, 3, link_.phaseTimeout) != 3) {
            errorNumber = kBslFrameTimeout;
            break;
        }
        const uint32_t length = answer[2];
        if (answer[2] != answer[3]) {
            errorNumber = kBslBadChecksum;
            break;
        }
        if (link_.ReadWait(answer + 4, length + 2, link_.phaseTimeout) != length + 2) {
            errorNumber = kBslFrameTimeout;
            break;
        }
        const uint16_t sum = BslChecksum(answer, length + 4);
        const bool match = answer[4 + length] == (sum & 0xFF) && answer[5 + length] == (sum >> 8);
        errorNumber = match ? kBslNoError : kBslBadChecksum;
        break;
    }
    default:
        // A byte the loader never sends (line noise, a garbled answer): counting it as
        // done could pass a refused frame as written, so it is a failure of its own.
        errorNumber = kBslUnspecific;
        break;
    }
    // A loader acknowledges or answers a frame only once it has all of it: an
    // acknowledge that arrives while the frame is still going out belongs to no frame,
    // and counting it as done would pass an unsent frame as carried out.
    if (sent < frameLength && errorNumber == kBslNoError)
        errorNumber = kBslUnspecific;
    return errorNumber == kBslNoError;
}

bool BslProtocol::SendCommand(uint8_t command, uint32_t address, uint32_t length, const uint8_t* data,
                              uint8_t* answerData) {
    const bool carriesData = command == kBslRxPassword || command == kBslRxDataBlock;
    const uint32_t dataLength = carriesData ? std::min(length, kBslMaxBlock) : 0;
    std::memset(frame, 0xFF, sizeof(frame));
    const uint32_t l1 = 4 + dataLength;
    frame[0] = kBslHeader;
    frame[1] = command;
    frame[2] = static_cast<uint8_t>(l1);
    frame[3] = static_cast<uint8_t>(l1);
    frame[4] = static_cast<uint8_t>(address);
    frame[5] = static_cast<uint8_t>(address >> 8);
    frame[6] = static_cast<uint8_t>(length);
    frame[7] = static_cast<uint8_t>(length >> 8);
    if (dataLength > 0 && data != nullptr)
        std::memcpy(frame + kBslFrameHead, data, dataLength);
    const uint16_t sum = BslChecksum(frame, l1 + 4);
    frame[l1 + 4] = static_cast<uint8_t>(sum);
    frame[l1 + 5] = static_cast<uint8_t>(sum >> 8);

    if (!Sync())
        return false;
    if (!Exchange(l1 + 6))
        return false;
    // Only a read is answered with a data frame, and only in full. A single-byte
    // acknowledge carries no data, a data frame in answer to any other command (an
    // erase check above all) is no acknowledge, and a data frame shorter than asked
    // leaves bytes undelivered: none of them may pass as done.
    const bool dataFrame = answer[0] == kBslHeader;
    if (dataFrame != (command == kBslTxDataBlock) || (dataFrame && answer[2] < length)) {
        errorNumber = kBslUnspecific;
        return false;
    }
    if (answerData != nullptr)
        std::memcpy(answerData, answer + 4, std::min<uint32_t>(length, answer[2]));
    return true;
}

namespace {

// The whole words that cover [address, address + count): an even first address and an
// even end. An empty transfer stays empty, at the even address below.
struct WordSpan {
    uint32_t first;
    uint32_t end;
};

WordSpan CoverWords(uint32_t address, uint32_t count) {
    const uint32_t first = address & ~1u;
    return {first, count == 0 ? first : (address + count + 1) & ~1u};
}

} // namespace

bool BslProtocol::ReadBlocks(uint32_t address, uint8_t* destination, uint32_t count) {
    const WordSpan span = CoverWords(address, count);
    const uint32_t end = address + count;
    uint8_t chunkData[kBslMaxBlock];
    uint32_t at = span.first;
    do {
        const uint32_t chunk = std::min(span.end - at, kBslMaxBlock);
        if (!SendCommand(kBslTxDataBlock, at, chunk, nullptr, chunkData))
            return false;
        const uint32_t from = std::max(at, address);
        const uint32_t to = std::min(at + chunk, end);
        if (to > from)
            std::memcpy(destination + (from - address), chunkData + (from - at), to - from);
        at += chunk;
    } while (at < span.end);
    return true;
}

bool BslProtocol::ReadByteInWord(uint32_t address, uint8_t& value) {
    uint8_t word[2] = {};
    if (!SendCommand(kBslTxDataBlock, address & ~1u, 2, nullptr, word))
        return false;
    value = word[address & 1];
    return true;
}

bool BslProtocol::WriteBlocks(uint32_t address, const uint8_t* source, uint32_t count) {
    const WordSpan span = CoverWords(address, count);
    const uint32_t end = address + count;
    // The other byte of a word the data covers only in part is written back as it is:
    // 0xFF would leave flash as it is, but a loader that verifies what it programmed would
    // refuse the frame over a byte already programmed, and RAM would lose the byte.
    uint8_t head = 0xFF;
    uint8_t tail = 0xFF;
    if (count > 0 && (address & 1) != 0 && !ReadByteInWord(span.first, head))
        return false;
    if (count > 0 && (end & 1) != 0 && !ReadByteInWord(end, tail))
        return false;
    uint8_t staged[kBslMaxBlock];
    uint32_t at = span.first;
    do {
        const uint32_t chunk = std::min(span.end - at, kBslMaxBlock);
        for (uint32_t i = 0; i < chunk; ++i) {
            const uint32_t position = at + i;
            staged[i] = position < address ? head : position >= end ? tail : source[position - address];
        }
        if (!SendCommand(kBslRxDataBlock, at, chunk, staged, nullptr))
            return false;
        at += chunk;
    } while (at < span.end);
    return true;
}

bool BslProtocol::CheckBlank(uint32_t address, uint32_t count) {
    if (count == 0)
        return SendCommand(kBslEraseCheck, address & ~1u, 0, nullptr, nullptr);
    uint32_t first = address;
    uint32_t end = address + count;
    auto edgeBlank = [this](uint32_t at) {
        uint8_t value = 0;
        if (!ReadByteInWord(at, value))
            return false;
        if (value != 0xFF) {
            errorNumber = kBslNakReceived;
            return false;
        }
        return true;
    };
    if ((first & 1) != 0) {
        if (!edgeBlank(first))
            return false;
        ++first;
    }
    if (end > first && (end & 1) != 0) {
        if (!edgeBlank(end - 1))
            return false;
        --end;
    }
    for (uint32_t at = first; at < end;) {
        const uint32_t chunk = std::min(end - at, kBslEraseCheckMaxLength);
        if (!SendCommand(kBslEraseCheck, at, chunk, nullptr, nullptr))
            return false;
        at += chunk;
    }
    return true;
}

const char* BslProtocol::ErrorText(int32_t number) {
    static const char* const kTexts[] = {
        "No Error",
        "Unspecific error",
        "Could not open port",
        "Synchronization error",
        "Timeout while receiving header",
        "Timeout while receiving frame",
        "Bad frame checksum",
        "NAK received",
        "Command failed, is not defined or is not allowed",
        "Could not close port",
        "This function not implemented",
        "Could not patch BSL",
        "Old BSL version (<=1.10). Require patch",
        "Protected function. Password not match",
    };
    if (number < 0 || number >= static_cast<int32_t>(sizeof(kTexts) / sizeof(kTexts[0])))
        return "Invalid error number";
    return kTexts[number];
}

} // namespace pyrola
