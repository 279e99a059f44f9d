// Feeds arbitrary bytes to the TI TXT reader; whatever it stored must write out and read
// back to the same bytes.

#include "FuzzStreams.h"

#include "image/TiTxtReader.h"
#include "image/TiTxtWriter.h"

using namespace pyrola;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::CheckReader(ReadTiTxtStream, data, size, WriteTiTxtStream, ReadTiTxtStream);
    return 0;
}
