#pragma once
// The ROM bootstrap loader's UART protocol: a synchronisation byte before every frame,
// frames with an eight-byte head and a 16-bit checksum, single-byte answers or a data
// frame in answer to a read. Keeps one error number for the whole adapter.

#include "adapters/bsl/SerialLink.h"

#include <cstdint>
#include <functional>
#include <string>

namespace pyrola {

// Loader commands.
inline constexpr uint8_t kBslRxPassword = 0x10;
inline constexpr uint8_t kBslRxDataBlock = 0x12;
inline constexpr uint8_t kBslTxDataBlock = 0x14;
inline constexpr uint8_t kBslEraseArea = 0x16;
inline constexpr uint8_t kBslMassErase = 0x18;
inline constexpr uint8_t kBslLoadPc = 0x1A;
inline constexpr uint8_t kBslEraseCheck = 0x1C;

// Bytes on the wire.
inline constexpr uint8_t kBslSync = 0x80; // to the target; also the frame head
inline constexpr uint8_t kBslHeader = 0x80;
inline constexpr uint8_t kBslAck = 0x90;
inline constexpr uint8_t kBslNak = 0xA0;
inline constexpr uint8_t kBslFailed = 0x70;

// Erase keys (the length field of the erase commands).
inline constexpr uint16_t kBslKeySegment = 0xA502;
inline constexpr uint16_t kBslKeyMainOrInfo = 0xA504;
inline constexpr uint16_t kBslKeyMass = 0xA506;

inline constexpr uint32_t kBslMaxBlock = 250;
// The erase check moves no data: its 16-bit length field is its only limit (whole words).
inline constexpr uint32_t kBslEraseCheckMaxLength = 0xFFFE;
// The loader takes write frames only at even addresses with even lengths, and reads in
// word mode; every transfer goes out in whole words, and a full frame must keep the next
// one aligned.
static_assert(kBslMaxBlock % 2 == 0);
inline constexpr uint32_t kBslFrameHead = 8;
inline constexpr uint32_t kBslMaxFrame = kBslFrameHead + kBslMaxBlock + 2;
inline constexpr uint32_t kBslPasswordLength = 32;
inline constexpr uint32_t kBslPasswordAddress = 0xFFE0;
inline constexpr uint32_t kBslSyncAttempts = 10;
inline constexpr uint32_t kBslSyncWaitMs = 100;

// Error numbers.
enum BslError : int32_t {
    kBslNoError = 0,
    kBslUnspecific = 1,
    kBslOpenFailed = 2,
    kBslSyncFailed = 3,
    kBslHeaderTimeout = 4,
    kBslFrameTimeout = 5,
    kBslBadChecksum = 6,
    kBslNakReceived = 7,
    kBslCommandFailed = 8,
    kBslCloseFailed = 9,
    kBslNotImplemented = 10,
    kBslPatchFailed = 11,
    kBslOldVersion = 12,
    kBslPasswordRefused = 13,
};

// The loader checksum over the first `count` bytes of a frame: the bytes taken as
// little-endian words (count / 2 of them; an odd last byte is left out), XORed and inverted.
uint16_t BslChecksum(const uint8_t* bytes, uint32_t count);

class BslProtocol {
public:
    explicit BslProtocol(SerialLink& link) : link_(link) {}

    // Up to ten attempts of: clear the receive queue, send 0x80, wait 100 ms for 0x90.
    // Records error 3 when all fail.
    bool Sync();
    // Sends the frame in the frame buffer byte by byte, stopping early when an answer
    // arrives, and evaluates the answer. True exactly when the error number is 0.
    bool Exchange(uint32_t frameLength);
    // Builds one frame (data only for 0x10 and 0x12), synchronises, exchanges, and copies
    // min(length, answer length) answer bytes into `answer` when given.
    bool SendCommand(uint8_t command, uint32_t address, uint32_t length, const uint8_t* data,
                     uint8_t* answer);
    // Reads or writes count bytes in frames of at most 250 bytes; stops at the first failure.
    // Frames cover the whole words around the bytes: a read delivers only the bytes asked
    // for; a write first reads a word it covers only in part and writes its other byte back
    // unchanged. With even frames the checksum covers every byte on the wire.
    bool ReadBlocks(uint32_t address, uint8_t* destination, uint32_t count);
    bool WriteBlocks(uint32_t address, const uint8_t* source, uint32_t count);
    // Checks count bytes for 0xFF: erase-check frames as long as the length field allows over the whole
    // words inside the range, and a byte at either end that shares its word with a byte
    // outside it read and compared, so that a neighbour outside the range cannot decide the
    // result. A byte found not blank gives error 7, as the loader's refusal does.
    bool CheckBlank(uint32_t address, uint32_t count);

    static const char* ErrorText(int32_t number);

    int32_t errorNumber = kBslNoError;
    // Told of each synchronisation attempt that got no acknowledgement, for a verbose run.
    std::function<void(const std::string&)> onRetry;
    uint8_t frame[kBslMaxFrame] = {};
    // The answer byte, the byte after it, L1, L2, up to 255 data bytes and the checksum.
    uint8_t answer[4 + 255 + 2] = {};

private:
    // Reads the word that holds `address`: the byte at `address` goes to `value`.
    bool ReadByteInWord(uint32_t address, uint8_t& value);

    SerialLink& link_;
};

} // namespace pyrola
