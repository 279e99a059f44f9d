// Feeds arbitrary bytes to the Intel HEX reader; whatever it stored must write out and
// read back to the same bytes.

#include "FuzzStreams.h"

#include "image/IntelHexReader.h"
#include "image/IntelHexWriter.h"

using namespace pyrola;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::CheckReader(ReadIntelHexStream, data, size, WriteIntelHexStream, ReadIntelHexStream);
    return 0;
}
