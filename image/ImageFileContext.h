#pragma once
// What a reader or writer works on and where it leaves the reason of a failure.

#include "image/MemoryImage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pyrola {

// Bytes a file gave for an address that already held one (a loader and an application
// concatenated): the later value is kept, as every reader stores in file order.
struct ImageOverlap {
    uint32_t count = 0; // bytes given again
    uint32_t first = 0; // lowest file position's address: the first one met
    uint8_t earlier = 0;
    uint8_t kept = 0;
};

// A named piece of a file the image took (an ELF section), so that a byte the chip cannot
// hold can be traced back to it.
struct ImagePart {
    std::string name;
    uint32_t first = 0; // load address
    uint32_t size = 0;
};

struct ImageFileContext {
    MemoryImage* image = nullptr;
    std::string errorText; // empty unless a rule set a reason
    // Set by a text reader that reached the end of the file without its end record (Intel
    // HEX type 01, TI TXT "q"): the file may have been cut short.
    bool endRecordMissing = false;
    // Where byte 0 of a binary file goes (objcopy -O binary starts at the lowest address).
    uint32_t binaryBase = 0;
    // Filled by the readers that place records: see ImageOverlap.
    ImageOverlap overlap{};
    // What a reader took from a file that holds more than the image (ELF: which sections,
    // how many bytes), for the log; empty for the other formats.
    std::string takenText{};
    // The named pieces behind takenText (ELF sections); empty for the other formats.
    std::vector<ImagePart> parts{};

    // Stores a byte read from the file, noting an address given twice.
    void Store(uint32_t address, uint8_t byte) {
        if (address < image->CellCount() && image->IsPresent(address)) {
            if (overlap.count++ == 0) {
                overlap.first = address;
                overlap.earlier = image->ValueAt(address);
                overlap.kept = byte;
            }
        }
        image->StoreByte(address, byte);
    }
    // What was tried and the system's reason, for a line after errorText ("/x/fw.txt: No
    // such file or directory"); empty when the file itself was at fault.
    std::string errorDetail = {};
};

inline constexpr const char* kTextCantOpen = "Can't open";
inline constexpr const char* kTextIoError = "I\\O Error";
inline constexpr const char* kTextInvalidLine = "Line %d. Invalid format";
inline constexpr const char* kTextBadChecksum = "Line %d. Bad checksum";
// Files may place bytes above 0xFFFF, but only within the MSP430X 20-bit address space;
// anything beyond is refused before the image would grow to it.
inline constexpr uint32_t kImageAddressLimit = 0x100000;
inline constexpr const char* kTextAddressTooHigh = "Line %d. Address above 0xFFFFF";
inline constexpr const char* kTextFileTooLarge = "File larger than 1 MiB";
// A FIFO, device or folder: opening one could block for ever or read endless data.
inline constexpr const char* kTextNotRegularFile = "Not a regular file";

} // namespace pyrola
