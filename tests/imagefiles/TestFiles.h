#pragma once
// Temporary files and image helpers shared by the image file tests.

#include "image/MemoryImage.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace pyrola::testfiles {

// The shared temporary folder, under the name these tests have always used.
using TempDir = pyrola::test::TempDir;

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline MemoryImage ClearedImage(uint8_t gap = 0xFF) {
    MemoryImage image;
    image.SetGapByte(gap);
    image.Clear();
    return image;
}

struct ByteRun {
    uint32_t start;
    std::vector<uint8_t> bytes;
};

// Random non-overlapping runs of random bytes below `limit`, separated by holes.
inline std::vector<ByteRun> RandomRuns(std::mt19937& random, uint32_t limit, int runs, uint32_t maxLength) {
    std::vector<ByteRun> result;
    const uint32_t slot = limit / static_cast<uint32_t>(runs);
    for (int i = 0; i < runs; ++i) {
        const uint32_t slotStart = slot * static_cast<uint32_t>(i);
        const uint32_t length = 1 + random() % std::min(maxLength, slot / 2);
        const uint32_t start = slotStart + 1 + random() % (slot - length - 1);
        ByteRun run{start, {}};
        for (uint32_t b = 0; b < length; ++b)
            run.bytes.push_back(static_cast<uint8_t>(random()));
        result.push_back(std::move(run));
    }
    return result;
}

inline MemoryImage ImageOf(const std::vector<ByteRun>& runs) {
    MemoryImage image = ClearedImage();
    for (const ByteRun& run : runs) {
        for (size_t i = 0; i < run.bytes.size(); ++i)
            image.StoreByte(run.start + static_cast<uint32_t>(i), run.bytes[i]);
    }
    return image;
}

// Same present addresses with the same values, and the same low and high.
inline ::testing::AssertionResult SamePresentBytes(const MemoryImage& expected, const MemoryImage& actual) {
    if (expected.Low() != actual.Low() || expected.High() != actual.High())
        return ::testing::AssertionFailure()
               << "low/high " << std::hex << expected.Low() << "/" << expected.High() << " vs "
               << actual.Low() << "/" << actual.High();
    const uint32_t end = std::max(expected.CellCount(), actual.CellCount());
    for (uint32_t a = 0; a < end; ++a) {
        const bool presentE = a < expected.CellCount() && expected.IsPresent(a);
        const bool presentA = a < actual.CellCount() && actual.IsPresent(a);
        if (presentE != presentA || (presentE && expected.ValueAt(a) != actual.ValueAt(a)))
            return ::testing::AssertionFailure()
                   << "address 0x" << std::hex << a << ": expected " << (presentE ? "present " : "absent ")
                   << int(expected.ValueAt(a)) << ", got " << (presentA ? "present " : "absent ")
                   << int(actual.ValueAt(a));
    }
    return ::testing::AssertionSuccess();
}

} // namespace pyrola::testfiles
