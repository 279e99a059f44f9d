#include "adapters/bsl/BslPatch.h"

#include "image/ImageFileContext.h"
#include "image/MemoryImage.h"
#include "image/TiTxtReader.h"

namespace pyrola {

namespace {

// Layout of the built-in table (addresses as loaded):
//   0x0220  start address 0x0230
//   0x0222  14 bytes of tag text
//   0x0230  NOP (MOV #0,R3) words
//   0x0642  MOV #0x0C22,PC: back into the loader
constexpr uint16_t kStart = 0x0230;
constexpr char kTag[14] = {'P', 'y', 'r', 'o', 'l', 'a', ' ', 'B', 'S', 'L', ' ', 'x', 't', '\0'};
constexpr uint16_t kNop = 0x4303;
constexpr uint16_t kBranchImmediate = 0x4030; // MOV #imm,PC
constexpr uint16_t kLoaderEntry = 0x0C22;

constexpr std::array<uint8_t, kBslPatchSize> MakeBuiltInPatch() {
    std::array<uint8_t, kBslPatchSize> table{};
    auto word = [&table](uint32_t offset, uint16_t value) {
        table[offset] = static_cast<uint8_t>(value);
        table[offset + 1] = static_cast<uint8_t>(value >> 8);
    };
    word(0, kStart);
    for (uint32_t i = 0; i < sizeof(kTag); ++i)
        table[2 + i] = static_cast<uint8_t>(kTag[i]);
    const uint32_t code = kStart - kBslPatchAddress;
    for (uint32_t offset = code; offset + 4 < kBslPatchSize; offset += 2)
        word(offset, kNop);
    word(kBslPatchSize - 4, kBranchImmediate);
    word(kBslPatchSize - 2, kLoaderEntry);
    return table;
}

constexpr std::array<uint8_t, kBslPatchSize> kBuiltInPatch = MakeBuiltInPatch();
static_assert(kBuiltInPatch.size() == 1062);
static_assert((kBuiltInPatch[0] | (kBuiltInPatch[1] << 8)) == kStart);

} // namespace

const std::array<uint8_t, kBslPatchSize>& BuiltInBslPatch() {
    return kBuiltInPatch;
}

bool ReadBslPatchFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason) {
    bytes.clear();
    MemoryImage image;
    image.Clear();
    ImageFileContext context;
    context.image = &image;
    if (ReadTiTxtFile(context, path) <= 0 && image.Low() == kImageEmptyLow) {
        reason = context.errorText.empty() ? "no data" : context.errorText;
        return false;
    }
    if (!context.errorText.empty()) {
        reason = context.errorText;
        return false;
    }
    if (image.Low() != kBslPatchAddress) {
        reason = "data does not start at 0x0220";
        return false;
    }
    const uint32_t end = image.High() + 1;
    if (end - kBslPatchAddress < 2 || end - kBslPatchAddress > kBslPatchMaxSize) {
        reason = "size out of range";
        return false;
    }
    for (uint32_t address = kBslPatchAddress; address < end; ++address) {
        if (!image.IsPresent(address)) {
            reason = "gap in the data";
            return false;
        }
    }
    const uint32_t start = image.ValueAt(kBslPatchAddress) | (image.ValueAt(kBslPatchAddress + 1) << 8);
    if (start < kBslPatchAddress + 2 || start >= end) {
        reason = "start address outside the patch";
        return false;
    }
    for (uint32_t address = kBslPatchAddress; address < end; ++address)
        bytes.push_back(image.ValueAt(address));
    return true;
}

} // namespace pyrola
