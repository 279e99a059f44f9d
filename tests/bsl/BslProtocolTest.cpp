// The frame protocol against a scripted loader: frames byte for byte, the checksum,
// synchronisation retries, early answers, data frames and their failures, chunking into
// whole-word frames.

#include "adapters/bsl/BslProtocol.h"
#include "tests/bsl/ScriptedSerial.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace pyrola {
namespace {

using Bytes = std::vector<uint8_t>;

// Answers synchronisation bytes with 0x90 and whole frames with what `onFrame` returns.
class MiniLoader {
public:
    explicit MiniLoader(test::ScriptedLine& line) : line_(line) {
        line_.onWrite = [this](uint8_t b) { OnByte(b); };
    }
    std::function<Bytes(const Bytes&)> onFrame = [](const Bytes&) { return Bytes{0x90}; };
    uint8_t syncAnswer = 0x90;
    std::vector<Bytes> frames;
    // Answer after this many bytes of a frame (0 = after the whole frame), with this byte.
    size_t answerEarlyAfter = 0;
    uint8_t earlyAnswer = 0xA0;

private:
    void OnByte(uint8_t b) {
        if (!inFrame_) {
            if (b == 0x80 && !afterSync_) {
                afterSync_ = true;
                line_.Answer({syncAnswer}, 1000000);
                return;
            }
            inFrame_ = true;
            afterSync_ = false;
            current_.clear();
        }
        current_.push_back(b);
        const bool whole = current_.size() >= 4 && current_.size() == size_t(current_[2]) + 6;
        if (answerEarlyAfter != 0 && current_.size() == answerEarlyAfter) {
            line_.Answer({earlyAnswer}, 0); // arrives at once: seen by the poll after this byte
            Finish();
            return;
        }
        if (whole) {
            Bytes reply = onFrame(current_);
            for (uint8_t r : reply)
                line_.Answer({r}, 2000000);
            Finish();
        }
    }
    void Finish() {
        frames.push_back(current_);
        inFrame_ = false;
    }

    test::ScriptedLine& line_;
    bool inFrame_ = false;
    bool afterSync_ = false;
    Bytes current_;
};

Bytes DataFrame(const Bytes& data) {
    Bytes f;
    f.reserve(data.size() + 6);
    for (uint8_t b : {uint8_t(0x80), uint8_t(0x00), uint8_t(data.size()), uint8_t(data.size())})
        f.push_back(b);
    for (uint8_t b : data) // one by one: GCC 12 misreads the bounds of a range insert here at -O2
        f.push_back(b);
    const uint16_t sum = BslChecksum(f.data(), uint32_t(f.size()));
    f.push_back(uint8_t(sum));
    f.push_back(uint8_t(sum >> 8));
    return f;
}

// A loader over 64 KiB of memory: writes store their data, reads answer with it, erase
// checks look for 0xFF. Like the chip it refuses those frames at odd addresses or with
// odd lengths.
struct MemoryLoader {
    Bytes memory = Bytes(0x10000, 0xFF);
    uint32_t oddFrames = 0;
    Bytes operator()(const Bytes& f) {
        const uint32_t address = f[4] | (f[5] << 8);
        const uint32_t length = f[6] | (f[7] << 8);
        if ((f[1] == 0x12 || f[1] == 0x14 || f[1] == 0x1C) && ((address | length | f[2]) & 1) != 0) {
            ++oddFrames;
            return Bytes{0xA0};
        }
        if (f[1] == 0x1C) {
            for (uint32_t i = 0; i < length; ++i) {
                if (memory[(address + i) & 0xFFFF] != 0xFF)
                    return Bytes{0xA0};
            }
            return Bytes{0x90};
        }
        if (f[1] == 0x12) {
            for (uint32_t i = 0; i < length; ++i)
                memory[(address + i) & 0xFFFF] = f[8 + i];
            return Bytes{0x90};
        }
        if (f[1] == 0x14) {
            Bytes data;
            for (uint32_t i = 0; i < length; ++i)
                data.push_back(memory[(address + i) & 0xFFFF]);
            return DataFrame(data);
        }
        return Bytes{0x90};
    }
};

class BslProtocolTest : public ::testing::Test {
protected:
    BslProtocolTest() : clock(line.log), ports(line), link(ports, clock), protocol(link), loader(line) {
        line.clock = &clock;
        link.portName = "COM1";
        link.OpenPort();
    }
    test::ScriptedLine line;
    test::RecordingClock clock;
    test::ScriptedPorts ports;
    SerialLink link;
    BslProtocol protocol;
    MiniLoader loader;
};

TEST_F(BslProtocolTest, WorkedFramesGoOutByteForByte) {
    ASSERT_TRUE(protocol.SendCommand(kBslMassErase, 0xFF00, kBslKeyMass, nullptr, nullptr));
    ASSERT_TRUE(protocol.SendCommand(kBslLoadPc, 0x0C22, 0, nullptr, nullptr));
    loader.onFrame = [](const Bytes&) { return DataFrame(Bytes(16, 0x5A)); };
    uint8_t id[16] = {};
    ASSERT_TRUE(protocol.SendCommand(kBslTxDataBlock, 0x0FF0, 16, nullptr, id));
    const Bytes expected = {
        0x80,                                                       // sync
        0x80, 0x18, 0x04, 0x04, 0x00, 0xFF, 0x06, 0xA5, 0x7D, 0xB9, // mass erase
        0x80,                                                       // sync
        0x80, 0x1A, 0x04, 0x04, 0x22, 0x0C, 0x00, 0x00, 0x59, 0xED, // load PC 0x0C22
        0x80,                                                       // sync
        0x80, 0x14, 0x04, 0x04, 0xF0, 0x0F, 0x10, 0x00, 0x9B, 0xE0, // read 16 at 0x0FF0
    };
    EXPECT_EQ(line.written, expected);
    EXPECT_EQ(protocol.errorNumber, kBslNoError);
}

TEST_F(BslProtocolTest, ChecksumIsTheInvertedXorOfLittleEndianWords) {
    const uint8_t frame[] = {0x80, 0x18, 0x04, 0x04, 0x00, 0xFF, 0x06, 0xA5};
    EXPECT_EQ(BslChecksum(frame, 8), 0xB97D);
    // An odd last byte takes no part.
    const uint8_t odd[] = {0x80, 0x12, 0x05, 0x05, 0x00, 0xF0, 0x01, 0x00, 0x42};
    EXPECT_EQ(BslChecksum(odd, 9), BslChecksum(odd, 8));
    // Equivalently: low byte over even offsets, high byte over odd offsets.
    uint8_t lo = 0, hi = 0;
    for (int i = 0; i < 8; i += 2) {
        lo ^= frame[i];
        hi ^= frame[i + 1];
    }
    EXPECT_EQ(BslChecksum(frame, 8), uint16_t(~(lo | (hi << 8))));
}

TEST_F(BslProtocolTest, PasswordAndWriteFramesCarryTheirData) {
    Bytes password(32);
    for (int i = 0; i < 32; ++i)
        password[i] = uint8_t(i * 7);
    ASSERT_TRUE(protocol.SendCommand(kBslRxPassword, 0xFFE0, 32, password.data(), nullptr));
    ASSERT_EQ(loader.frames.size(), 1u);
    const Bytes& f = loader.frames[0];
    ASSERT_EQ(f.size(), 42u);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 8), (Bytes{0x80, 0x10, 0x24, 0x24, 0xE0, 0xFF, 0x20, 0x00}));
    EXPECT_EQ(Bytes(f.begin() + 8, f.begin() + 40), password);
    const uint16_t sum = BslChecksum(f.data(), 40);
    EXPECT_EQ(f[40], uint8_t(sum));
    EXPECT_EQ(f[41], uint8_t(sum >> 8));
}

uint32_t FrameAddress(const Bytes& f) {
    return f[4] | (f[5] << 8);
}
uint32_t FrameLength(const Bytes& f) {
    return f[6] | (f[7] << 8);
}

TEST_F(BslProtocolTest, TransfersSplitIntoWholeWordFramesOfAtMost250Bytes) {
    MemoryLoader memory;
    memory.memory[0xF0FB] = 0x77; // the byte after the data, sharing its word
    loader.onFrame = [&memory](const Bytes& f) { return memory(f); };
    Bytes data(251, 0x33);
    ASSERT_TRUE(protocol.WriteBlocks(0xF000, data.data(), 251));
    // The last word is covered in part: its other byte is read first and written back.
    ASSERT_EQ(loader.frames.size(), 3u);
    EXPECT_EQ(loader.frames[0][1], 0x14);
    EXPECT_EQ(FrameAddress(loader.frames[0]), 0xF0FAu);
    EXPECT_EQ(FrameLength(loader.frames[0]), 2u);
    EXPECT_EQ(loader.frames[1][1], 0x12);
    EXPECT_EQ(loader.frames[1][2], 254); // 4 + 250
    EXPECT_EQ(FrameLength(loader.frames[1]), 250u);
    EXPECT_EQ(loader.frames[2][2], 6);
    EXPECT_EQ(FrameAddress(loader.frames[2]), 0xF0FAu);
    EXPECT_EQ(loader.frames[2][8], 0x33);
    EXPECT_EQ(loader.frames[2][9], 0x77);
    EXPECT_EQ(memory.memory[0xF0FA], 0x33);
    EXPECT_EQ(memory.memory[0xF0FB], 0x77);
    EXPECT_EQ(memory.oddFrames, 0u);
    // Nothing to move still sends one frame with a length of 0, at an even address.
    loader.frames.clear();
    ASSERT_TRUE(protocol.WriteBlocks(0xF001, data.data(), 0));
    ASSERT_EQ(loader.frames.size(), 1u);
    EXPECT_EQ(FrameAddress(loader.frames[0]), 0xF000u);
    EXPECT_EQ(FrameLength(loader.frames[0]), 0u);
}

// Odd starts, odd lengths, single bytes and the top of memory: every frame whole words,
// the bytes around the data as they were, reads delivering exactly the bytes asked for.
TEST_F(BslProtocolTest, OddTransfersGoOutAsWholeWordsAndTouchNothingElse) {
    MemoryLoader memory;
    for (uint32_t a = 0; a < 0x10000; ++a)
        memory.memory[a] = uint8_t(a * 7 + 3);
    loader.onFrame = [&memory](const Bytes& f) { return memory(f); };
    struct Case {
        uint32_t address;
        uint32_t count;
    };
    const Case cases[] = {{0xF001, 1},   {0xF000, 1},   {0xF001, 2},    {0xF001, 3}, {0xF001, 250},
                          {0xF001, 251}, {0xF000, 251}, {0xF001, 1000}, {0xFFFF, 1}, {0xFF01, 0xFF}};
    for (const Case& c : cases) {
        const Bytes before = memory.memory;
        Bytes data(c.count);
        for (uint32_t i = 0; i < c.count; ++i)
            data[i] = uint8_t(0xC5 ^ (i * 13));
        ASSERT_TRUE(protocol.WriteBlocks(c.address, data.data(), c.count)) << c.address << "+" << c.count;
        for (uint32_t a = 0; a < 0x10000; ++a) {
            const bool inside = a >= c.address && a < c.address + c.count;
            ASSERT_EQ(memory.memory[a], inside ? data[a - c.address] : before[a])
                << std::hex << a << " after writing " << c.address << "+" << std::dec << c.count;
        }
        Bytes back(c.count + 1, 0xEE); // one guard byte
        ASSERT_TRUE(protocol.ReadBlocks(c.address, back.data(), c.count));
        EXPECT_EQ(Bytes(back.begin(), back.begin() + c.count), data);
        EXPECT_EQ(back.back(), 0xEE);
    }
    EXPECT_EQ(memory.oddFrames, 0u);
    for (const Bytes& f : loader.frames)
        ASSERT_EQ((FrameAddress(f) | FrameLength(f) | f[2]) & 1, 0u);
}

TEST_F(BslProtocolTest, ABlankCheckOfAnOddRangeIsDecidedByItsOwnBytesOnly) {
    MemoryLoader memory;
    loader.onFrame = [&memory](const Bytes& f) { return memory(f); };
    // Programmed bytes just outside the range do not make it fail.
    memory.memory[0xE000] = 0x00;
    memory.memory[0xE0FE] = 0x00;
    ASSERT_TRUE(protocol.CheckBlank(0xE001, 0xFD)); // 0xE001-0xE0FD
    EXPECT_EQ(memory.oddFrames, 0u);
    // A programmed byte inside, at either end or in the middle, does.
    for (uint32_t inside : {0xE001u, 0xE0FDu, 0xE080u}) {
        memory.memory[inside] = 0x7F;
        EXPECT_FALSE(protocol.CheckBlank(0xE001, 0xFD)) << std::hex << inside;
        EXPECT_EQ(protocol.errorNumber, kBslNakReceived);
        memory.memory[inside] = 0xFF;
    }
    EXPECT_TRUE(protocol.CheckBlank(0xE0FF, 1));
    memory.memory[0xE0FF] = 0x00;
    EXPECT_FALSE(protocol.CheckBlank(0xE0FF, 1));
    // An empty check still sends one frame, at an even address.
    loader.frames.clear();
    EXPECT_TRUE(protocol.CheckBlank(0xE001, 0));
    ASSERT_EQ(loader.frames.size(), 1u);
    EXPECT_EQ(FrameAddress(loader.frames[0]), 0xE000u);
    EXPECT_EQ(memory.oddFrames, 0u);
}

TEST_F(BslProtocolTest, SynchronisationGivesUpAfterTenRefusalsWithoutSendingAFrame) {
    loader.syncAnswer = 0xA0;
    EXPECT_FALSE(protocol.SendCommand(kBslMassErase, 0xFF00, kBslKeyMass, nullptr, nullptr));
    EXPECT_EQ(protocol.errorNumber, kBslSyncFailed);
    EXPECT_EQ(line.written, Bytes(10, 0x80));
    EXPECT_TRUE(loader.frames.empty());
}

TEST_F(BslProtocolTest, AnEarlyRefusalStopsSendingAtOnce) {
    loader.answerEarlyAfter = 5;
    Bytes data(100, 0x11);
    EXPECT_FALSE(protocol.SendCommand(kBslRxDataBlock, 0xF000, 100, data.data(), nullptr));
    EXPECT_EQ(protocol.errorNumber, kBslNakReceived);
    // One sync byte and the five frame bytes before the answer was seen.
    EXPECT_EQ(line.written.size(), 6u);
}

TEST_F(BslProtocolTest, AnswerBytesMapToTheirErrorNumbers) {
    struct Case {
        Bytes reply;
        int32_t error;
    };
    const Case cases[] = {
        {{0x90}, kBslNoError},   {{0xA0}, kBslNakReceived}, {{0x70}, kBslCommandFailed},
        {{}, kBslHeaderTimeout}, {{0x55}, kBslUnspecific}, // a byte the loader never sends is no success
    };
    for (const Case& c : cases) {
        loader.onFrame = [&c](const Bytes&) { return c.reply; };
        protocol.errorNumber = kBslNoError;
        const uint64_t before = clock.Milliseconds();
        const bool ok = protocol.SendCommand(kBslEraseCheck, 0xF000, 16, nullptr, nullptr);
        EXPECT_EQ(ok, c.error == kBslNoError);
        EXPECT_EQ(protocol.errorNumber, c.error);
        if (c.error == kBslHeaderTimeout) {
            EXPECT_GE(clock.Milliseconds() - before, 3000u);
        }
    }
}

TEST_F(BslProtocolTest, DataFrameFaultsAreReported) {
    uint8_t out[16];
    // Lengths that disagree: error 6, and the body stays unread.
    loader.onFrame = [](const Bytes&) { return Bytes{0x80, 0x00, 0x10, 0x0F, 1, 2, 3}; };
    EXPECT_FALSE(protocol.SendCommand(kBslTxDataBlock, 0x0FF0, 16, nullptr, out));
    EXPECT_EQ(protocol.errorNumber, kBslBadChecksum);
    clock.AdvanceMs(10);
    EXPECT_EQ(link.PollInput(), 3u);
    // A wrong checksum: error 6.
    loader.onFrame = [](const Bytes&) {
        Bytes f = DataFrame(Bytes(16, 0x42));
        f.back() ^= 0x01;
        return f;
    };
    EXPECT_FALSE(protocol.SendCommand(kBslTxDataBlock, 0x0FF0, 16, nullptr, out));
    EXPECT_EQ(protocol.errorNumber, kBslBadChecksum);
    // A head that stops short: error 5.
    loader.onFrame = [](const Bytes&) { return Bytes{0x80, 0x00}; };
    EXPECT_FALSE(protocol.SendCommand(kBslTxDataBlock, 0x0FF0, 16, nullptr, out));
    EXPECT_EQ(protocol.errorNumber, kBslFrameTimeout);
    // A body that stops short: error 5.
    loader.onFrame = [](const Bytes&) {
        Bytes f = DataFrame(Bytes(16, 0x42));
        f.erase(f.end() - 3, f.end());
        return f;
    };
    EXPECT_FALSE(protocol.SendCommand(kBslTxDataBlock, 0x0FF0, 16, nullptr, out));
    EXPECT_EQ(protocol.errorNumber, kBslFrameTimeout);
}

TEST_F(BslProtocolTest, ReadsCopyNoMoreThanAskedAndFailWhenAnsweredShort) {
    // An answer with fewer bytes than asked delivers nothing and is no success.
    Bytes out(8, 0xEE);
    loader.onFrame = [](const Bytes&) { return DataFrame({1, 2, 3}); };
    EXPECT_FALSE(protocol.SendCommand(kBslTxDataBlock, 0x1000, 8, nullptr, out.data()));
    EXPECT_EQ(protocol.errorNumber, kBslUnspecific);
    EXPECT_EQ(out, Bytes(8, 0xEE));
    loader.onFrame = [](const Bytes&) { return DataFrame({9, 8, 7, 6, 5, 4, 3, 2, 1, 0}); };
    Bytes small(4, 0xEE);
    small.push_back(0xCC); // guard byte
    ASSERT_TRUE(protocol.SendCommand(kBslTxDataBlock, 0x1000, 4, nullptr, small.data()));
    EXPECT_EQ(small, (Bytes{9, 8, 7, 6, 0xCC}));
}

TEST_F(BslProtocolTest, AReadAnsweredWithAPlainAcknowledgeIsNoSuccess) {
    // A garbled data-frame head can look like an acknowledge; the read must not pass
    // off the previous frame's bytes as its own.
    loader.onFrame = [](const Bytes&) { return DataFrame({1, 2, 3, 4}); };
    Bytes out(4, 0);
    ASSERT_TRUE(protocol.ReadBlocks(0x1000, out.data(), 4));
    loader.onFrame = [](const Bytes&) { return Bytes{0x90}; };
    Bytes second(4, 0xEE);
    EXPECT_FALSE(protocol.ReadBlocks(0x1004, second.data(), 4));
    EXPECT_EQ(protocol.errorNumber, kBslUnspecific);
    EXPECT_EQ(second, Bytes(4, 0xEE));
}

TEST_F(BslProtocolTest, AnAcknowledgeWhileTheFrameIsStillGoingOutIsNoSuccess) {
    loader.answerEarlyAfter = 5;
    loader.earlyAnswer = 0x90;
    Bytes data(100, 0x11);
    EXPECT_FALSE(protocol.SendCommand(kBslRxDataBlock, 0xF000, 100, data.data(), nullptr));
    EXPECT_EQ(protocol.errorNumber, kBslUnspecific);
    EXPECT_EQ(line.written.size(), 6u);
    // The same byte after the whole frame is the loader's acknowledge.
    loader.answerEarlyAfter = 0;
    EXPECT_TRUE(protocol.SendCommand(kBslRxDataBlock, 0xF000, 100, data.data(), nullptr));
    EXPECT_EQ(protocol.errorNumber, kBslNoError);
}

TEST_F(BslProtocolTest, OnlyAReadIsAnsweredWithADataFrame) {
    // A well-formed data frame in answer to an erase check or a write is no acknowledge.
    loader.onFrame = [](const Bytes&) { return DataFrame({0xFF, 0xFF}); };
    EXPECT_FALSE(protocol.SendCommand(kBslEraseCheck, 0xF000, 2, nullptr, nullptr));
    EXPECT_EQ(protocol.errorNumber, kBslUnspecific);
    const uint8_t data[2] = {1, 2};
    EXPECT_FALSE(protocol.SendCommand(kBslRxDataBlock, 0xF000, 2, data, nullptr));
    EXPECT_EQ(protocol.errorNumber, kBslUnspecific);
    uint8_t out[2] = {};
    EXPECT_TRUE(protocol.SendCommand(kBslTxDataBlock, 0xF000, 2, nullptr, out));
    EXPECT_EQ(out[1], 0xFF);
}

TEST_F(BslProtocolTest, ReadBlocksStopsAtTheFirstFailure) {
    int frame = 0;
    loader.onFrame = [&frame](const Bytes& f) {
        ++frame;
        if (frame == 2)
            return Bytes{0xA0};
        return DataFrame(Bytes(f[6], uint8_t(frame)));
    };
    Bytes out(600, 0);
    EXPECT_FALSE(protocol.ReadBlocks(0x2000, out.data(), 600));
    EXPECT_EQ(protocol.errorNumber, kBslNakReceived);
    EXPECT_EQ(frame, 2);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[249], 1);
    EXPECT_EQ(out[250], 0);
}

TEST_F(BslProtocolTest, ErrorTextsCoverTheTableAndNothingElse) {
    EXPECT_STREQ(BslProtocol::ErrorText(0), "No Error");
    EXPECT_STREQ(BslProtocol::ErrorText(3), "Synchronization error");
    EXPECT_STREQ(BslProtocol::ErrorText(8), "Command failed, is not defined or is not allowed");
    EXPECT_STREQ(BslProtocol::ErrorText(12), "Old BSL version (<=1.10). Require patch");
    EXPECT_STREQ(BslProtocol::ErrorText(13), "Protected function. Password not match");
    EXPECT_STREQ(BslProtocol::ErrorText(14), "Invalid error number");
    EXPECT_STREQ(BslProtocol::ErrorText(-1), "Invalid error number");
}

} // namespace
} // namespace pyrola
