#include "image/ElfReader.h"

#include "base/TextFormat.h"
#include "image/ReaderFile.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace pyrola {

namespace {

// The file's fields are read by copying its bytes into these records.
static_assert(std::endian::native == std::endian::little, "ELF records are copied as little-endian bytes");

struct ElfHeader {
    uint8_t ident[16];
    uint16_t type;
    uint16_t machine;
    uint32_t version;
    uint32_t entry;
    uint32_t programHeaderOffset;
    uint32_t sectionHeaderOffset;
    uint32_t flags;
    uint16_t headerSize;
    uint16_t programHeaderSize;
    uint16_t programHeaderCount;
    uint16_t sectionHeaderSize;
    uint16_t sectionHeaderCount;
    uint16_t sectionNameIndex;
};
static_assert(sizeof(ElfHeader) == 52);
static_assert(offsetof(ElfHeader, machine) == 18);
static_assert(offsetof(ElfHeader, programHeaderOffset) == 28);
static_assert(offsetof(ElfHeader, programHeaderSize) == 42);
static_assert(offsetof(ElfHeader, programHeaderCount) == 44);

struct ElfProgramHeader {
    uint32_t type;
    uint32_t offset;
    uint32_t virtualAddress;
    uint32_t physicalAddress;
    uint32_t fileSize;
    uint32_t memorySize;
    uint32_t flags;
    uint32_t align;
};
static_assert(sizeof(ElfProgramHeader) == 32);
static_assert(offsetof(ElfProgramHeader, physicalAddress) == 12);
static_assert(offsetof(ElfProgramHeader, fileSize) == 16);

struct ElfSectionHeader {
    uint32_t name; // offset in the section-name string table
    uint32_t type;
    uint32_t flags;
    uint32_t address; // where the section runs (its virtual address)
    uint32_t offset;
    uint32_t size;
    uint32_t link;
    uint32_t info;
    uint32_t align;
    uint32_t entrySize;
};
static_assert(sizeof(ElfSectionHeader) == 40);
static_assert(offsetof(ElfSectionHeader, offset) == 16);
static_assert(offsetof(ElfSectionHeader, size) == 20);

constexpr uint8_t kClass32 = 1;
constexpr uint8_t kLittleEndian = 1;
constexpr uint16_t kMachineMsp430 = 105;
constexpr uint32_t kLoadSegment = 1;
constexpr uint32_t kSectionNull = 0;
constexpr uint32_t kSectionNoBits = 8; // BSS: room in memory, no bytes in the file
constexpr uint32_t kSectionAlloc = 0x2;
// More headers than any linker writes for a small chip; a count beyond it is a damaged
// table, not a reason to read thousands of entries.
constexpr uint16_t kMaxProgramHeaders = 256;
constexpr uint16_t kMaxSectionHeaders = 4096;
// A section name is cut here in the log.
constexpr size_t kMaxSectionName = 64;

constexpr const char* kTextNotElf = "Not an ELF file";
constexpr const char* kTextNot32Bit = "ELF file is not 32-bit";
constexpr const char* kTextNotLittleEndian = "ELF file is not little-endian";
constexpr const char* kTextWrongMachine = "ELF file is not for the MSP430 (machine %u)";
constexpr const char* kTextBadProgramHeaders = "ELF program header table is damaged";
constexpr const char* kTextBadSectionHeaders = "ELF section header table is damaged";
constexpr const char* kTextOutsideAddressSpace =
    "ELF segment at 0x%X (%u bytes) lies outside 0x00000-0xFFFFF";
constexpr const char* kTextSectionOutsideAddressSpace =
    "ELF section %s at 0x%X (%u bytes) lies outside 0x00000-0xFFFFF";
constexpr const char* kTextTruncated = "ELF file is truncated";
constexpr const char* kTextNoLoadableBytes = "ELF file has no loadable bytes";

int32_t Fail(ImageFileContext& context, std::string reason) {
    context.errorText = std::move(reason);
    return 0;
}

// Reads exactly size bytes at offset; false when the file ends first.
bool ReadAt(std::FILE* file, uint32_t offset, void* into, size_t size) {
    if (offset > static_cast<uint32_t>(INT32_MAX) ||
        std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    return std::fread(into, 1, size, file) == size;
}

// One stretch of file bytes the image takes: a section, or a segment when the file has
// no section headers.
struct LoadPiece {
    std::string name;    // the section's name; empty for a segment
    uint32_t offset = 0; // in the file
    uint32_t size = 0;
    uint32_t address = 0; // where it is programmed (its load address)
    uint32_t runAt = 0;   // where it runs, when that differs (data copied to RAM)
};

// The load address of a section, as objcopy gives it: a section whose bytes lie in a
// loadable segment is programmed where that segment loads, at the same distance from its
// start; one outside every segment at its own address.
uint32_t LoadAddress(const ElfSectionHeader& section, const std::vector<ElfProgramHeader>& segments) {
    for (const ElfProgramHeader& segment : segments) {
        if (segment.type == kLoadSegment && section.offset >= segment.offset &&
            uint64_t{section.offset} + section.size <= uint64_t{segment.offset} + segment.fileSize)
            return segment.physicalAddress + (section.offset - segment.offset);
    }
    return section.address;
}

// The name of a section from the section-name string table; "#index" where the table
// gives none.
std::string SectionName(std::FILE* file, const ElfSectionHeader* names, uint32_t nameOffset, size_t index) {
    std::string name;
    if (names && names->type != kSectionNoBits && nameOffset < names->size &&
        uint64_t{names->offset} + nameOffset <= static_cast<uint32_t>(INT32_MAX) &&
        std::fseek(file, static_cast<long>(names->offset + nameOffset), SEEK_SET) == 0) {
        char text[kMaxSectionName] = {};
        const size_t got =
            std::fread(text, 1, std::min<uint32_t>(names->size - nameOffset, kMaxSectionName), file);
        name.assign(text, strnlen(text, got));
    }
    return name.empty() ? Format("#%u", unsigned(index)) : name;
}

// The allocated sections that hold file bytes: what objcopy puts in an image. The ELF and
// program headers, symbols, debug data and BSS are left out, and so are the gaps the
// linker left between sections of one segment.
std::string TakeSections(std::FILE* file, const ElfHeader& header,
                         const std::vector<ElfProgramHeader>& segments, std::vector<LoadPiece>& pieces) {
    if (header.sectionHeaderSize < sizeof(ElfSectionHeader) || header.sectionHeaderCount > kMaxSectionHeaders)
        return kTextBadSectionHeaders;
    std::vector<ElfSectionHeader> sections(header.sectionHeaderCount);
    for (uint32_t i = 0; i < sections.size(); ++i) {
        const uint64_t at = uint64_t{header.sectionHeaderOffset} + uint64_t{i} * header.sectionHeaderSize;
        if (at > UINT32_MAX || !ReadAt(file, static_cast<uint32_t>(at), &sections[i], sizeof sections[i]))
            return kTextTruncated;
    }
    const ElfSectionHeader* names =
        header.sectionNameIndex < sections.size() ? &sections[header.sectionNameIndex] : nullptr;
    for (size_t i = 0; i < sections.size(); ++i) {
        const ElfSectionHeader& section = sections[i];
        if (section.type == kSectionNull || section.type == kSectionNoBits ||
            !(section.flags & kSectionAlloc) || section.size == 0)
            continue;
        LoadPiece piece{SectionName(file, names, section.name, i), section.offset, section.size,
                        LoadAddress(section, segments), section.address};
        if (uint64_t{piece.address} + piece.size > kImageAddressLimit)
            return Format(kTextSectionOutsideAddressSpace, piece.name.c_str(), unsigned(piece.address),
                          unsigned(piece.size));
        pieces.push_back(std::move(piece));
    }
    return {};
}

// A file without section headers: the loadable segments' file bytes.
std::string TakeSegments(const std::vector<ElfProgramHeader>& segments, std::vector<LoadPiece>& pieces) {
    for (const ElfProgramHeader& segment : segments) {
        if (segment.type != kLoadSegment || segment.fileSize == 0)
            continue;
        if (uint64_t{segment.physicalAddress} + segment.fileSize > kImageAddressLimit)
            return Format(kTextOutsideAddressSpace, static_cast<unsigned>(segment.physicalAddress),
                          static_cast<unsigned>(segment.fileSize));
        pieces.push_back(
            {{}, segment.offset, segment.fileSize, segment.physicalAddress, segment.virtualAddress});
    }
    return {};
}

// "Took 3 ELF sections, 172 bytes: .text 0x1100-0x11A3, .data 0x11A4-0x11A7 (runs at
// 0x0200), ..."; a file of many sections (one per interrupt vector) names the first few.
std::string TakenText(const std::vector<LoadPiece>& pieces) {
    constexpr size_t kNamed = 12;
    uint64_t total = 0;
    std::string list;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const LoadPiece& piece = pieces[i];
        total += piece.size;
        if (i >= kNamed)
            continue;
        list += list.empty() ? ": " : ", ";
        list += Format("%s 0x%.4X-0x%.4X", piece.name.empty() ? "segment" : piece.name.c_str(),
                       unsigned(piece.address), unsigned(piece.address + piece.size - 1));
        if (piece.runAt != piece.address)
            list += Format(" (runs at 0x%.4X)", unsigned(piece.runAt));
    }
    if (pieces.size() > kNamed)
        list += Format(" and %u more", unsigned(pieces.size() - kNamed));
    const bool sections = !pieces.front().name.empty();
    return Format("Took %u ELF %s%s, %llu bytes%s", unsigned(pieces.size()), sections ? "section" : "segment",
                  pieces.size() == 1 ? "" : "s", static_cast<unsigned long long>(total), list.c_str());
}

} // namespace

int32_t ReadElfStream(ImageFileContext& context, std::FILE* file) {
    MemoryImage& image = *context.image;
    image.Clear();
    ElfHeader header{};
    const size_t got = std::fread(&header, 1, sizeof header, file);
    if (got < sizeof kElfMagic || std::memcmp(header.ident, kElfMagic, sizeof kElfMagic) != 0)
        return Fail(context, kTextNotElf);
    if (got < 6)
        return Fail(context, kTextTruncated);
    if (header.ident[4] != kClass32)
        return Fail(context, kTextNot32Bit);
    if (header.ident[5] != kLittleEndian)
        return Fail(context, kTextNotLittleEndian);
    if (got < sizeof header)
        return Fail(context, kTextTruncated);
    if (header.machine != kMachineMsp430)
        return Fail(context, Format(kTextWrongMachine, static_cast<unsigned>(header.machine)));
    const bool hasSegments = header.programHeaderCount != 0;
    if (!hasSegments && (header.sectionHeaderOffset == 0 || header.sectionHeaderCount == 0))
        return Fail(context, kTextNoLoadableBytes);
    if (hasSegments && (header.programHeaderSize < sizeof(ElfProgramHeader) ||
                        header.programHeaderCount > kMaxProgramHeaders))
        return Fail(context, kTextBadProgramHeaders);

    // Every header and the extent of every piece are checked before any byte is stored,
    // so a refused file leaves an empty image rather than part of a program.
    if (std::fseek(file, 0, SEEK_END) != 0)
        return Fail(context, kTextIoError);
    const long fileSize = std::ftell(file);
    if (fileSize < 0)
        return Fail(context, kTextIoError);
    std::vector<ElfProgramHeader> segments(header.programHeaderCount);
    for (uint32_t i = 0; i < segments.size(); ++i) {
        const uint64_t at = uint64_t{header.programHeaderOffset} + uint64_t{i} * header.programHeaderSize;
        if (at > UINT32_MAX || !ReadAt(file, static_cast<uint32_t>(at), &segments[i], sizeof segments[i]))
            return Fail(context, kTextTruncated);
    }
    std::vector<LoadPiece> pieces;
    const bool hasSections = header.sectionHeaderOffset != 0 && header.sectionHeaderCount != 0;
    const std::string refusal =
        hasSections ? TakeSections(file, header, segments, pieces) : TakeSegments(segments, pieces);
    if (!refusal.empty())
        return Fail(context, refusal);
    if (pieces.empty())
        return Fail(context, kTextNoLoadableBytes);
    for (const LoadPiece& piece : pieces) {
        if (uint64_t{piece.offset} + piece.size > static_cast<uint64_t>(fileSize))
            return Fail(context, kTextTruncated);
    }

    std::vector<uint8_t> bytes;
    for (const LoadPiece& piece : pieces) {
        bytes.resize(piece.size);
        if (!ReadAt(file, piece.offset, bytes.data(), bytes.size()))
            return Fail(context, kTextTruncated);
        for (uint32_t i = 0; i < piece.size; ++i)
            context.Store(piece.address + i, bytes[i]);
    }
    context.takenText = TakenText(pieces);
    for (const LoadPiece& piece : pieces) {
        if (!piece.name.empty())
            context.parts.push_back({piece.name, piece.address, piece.size});
    }
    return static_cast<int32_t>(image.Size());
}

int32_t ReadElfFile(ImageFileContext& context, const std::string& path) {
    return ReadThroughFile(context, path, ReadElfStream);
}

bool StartsWithElfMagic(const std::string& path) {
    if (IsNonRegularFile(path))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char magic[sizeof kElfMagic] = {};
    const bool elf = std::fread(magic, 1, sizeof magic, file) == sizeof magic &&
                     std::memcmp(magic, kElfMagic, sizeof magic) == 0;
    std::fclose(file);
    return elf;
}

} // namespace pyrola
