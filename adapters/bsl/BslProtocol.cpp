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
        link_.Purge(kPurgeRxClear);
        const uint8_t request = kBslSync;
        link_.Write(&request, 1);
        uint8_t reply = 0;
        if (link_.ReadWait(&reply, 1, kBslSyncWaitMs) == 1 && reply == kBslAck)
            return true;
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
        errorNumber = kBslHeaderTimeout;
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

bool BslProtocol::ReadBlocks(uint32_t address, uint8_t* destination, uint32_t count) {
    return TransferBlocks(kBslTxDataBlock, address, destination, nullptr, count);
}

bool BslProtocol::WriteBlocks(uint32_t address, const uint8_t* source, uint32_t count) {
    return TransferBlocks(kBslRxDataBlock, address, nullptr, source, count);
}

bool BslProtocol::TransferBlocks(uint8_t command, uint32_t address, uint8_t* destination,
                                 const uint8_t* source, uint32_t count) {
    const bool read = command == kBslTxDataBlock;
    uint32_t done = 0;
    do {
        const uint32_t chunk = std::min(count - done, kBslMaxBlock);
        if (!SendCommand(command, address + done, chunk, read ? nullptr : source + done,
                         read ? destination + done : nullptr))
            return false;
        if (chunk % 2 != 0) {
            // The checksum covers whole words only, so the last byte of an odd chunk went
            // unchecked either way. It is read once more inside an aligned word, which the
            // checksum covers: a read takes that value, a write must find its byte there.
            const uint32_t last = (address + done + chunk - 1) & 0xFFFF;
            uint8_t word[2] = {};
            if (!SendCommand(kBslTxDataBlock, last & 0xFFFE, 2, nullptr, word))
                return false;
            const uint8_t value = word[last & 1];
            if (read) {
                destination[done + chunk - 1] = value;
            } else if (value != source[done + chunk - 1]) {
                errorNumber = kBslUnspecific;
                return false;
            }
        }
        done += chunk;
    } while (done < count);
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
