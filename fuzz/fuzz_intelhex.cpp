// Feeds arbitrary bytes to the Intel HEX reader; whatever it stored must write out and
// read back to the same bytes.

#include "FuzzStreams.h"

#include "image/IntelHexReader.h"
#include "image/IntelHexWriter.h"

using namespace pyrola;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryImage image; // the reader clears it
    ImageFileContext context{&image, {}};
    const int32_t count = fuzz::ReadBytes(ReadIntelHexStream, context, data, size);
    fuzz::RequireBounded(image);
    if (count < 0 || (count == 0) != (image.Size() == 0 || !context.errorText.empty()))
        std::abort();
    const std::vector<uint8_t> text = fuzz::WriteBytes(WriteIntelHexStream, context);
    MemoryImage back;
    ImageFileContext backContext{&back, {}};
    fuzz::ReadBytes(ReadIntelHexStream, backContext, text.data(), text.size());
    if (!backContext.errorText.empty())
        std::abort();
    fuzz::RequireSamePresentBytes(image, back);
    return 0;
}
