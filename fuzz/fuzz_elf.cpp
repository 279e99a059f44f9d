// Feeds arbitrary bytes to the ELF reader; whatever it stored must write out as Intel
// HEX and read back to the same bytes.

#include "FuzzStreams.h"

#include "image/ElfReader.h"
#include "image/IntelHexReader.h"
#include "image/IntelHexWriter.h"

using namespace pyrola;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::CheckReader(ReadElfStream, data, size, WriteIntelHexStream, ReadIntelHexStream);
    return 0;
}
