#pragma once
// What a reader or writer works on and where it leaves the reason of a failure.

#include "image/MemoryImage.h"

#include <cstdint>
#include <string>

namespace pyrola {

struct ImageFileContext {
    MemoryImage* image = nullptr;
    std::string errorText; // empty unless a rule set a reason
    // Set by a text reader that reached the end of the file without its end record (Intel
    // HEX type 01, TI TXT "q"): the file may have been cut short.
    bool endRecordMissing = false;
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
