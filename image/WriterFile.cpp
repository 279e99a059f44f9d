#include "image/WriterFile.h"

namespace pyrola {

int32_t WriteThroughFile(ImageFileContext& context, const std::string& path, StreamWriter writer) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        context.errorText = kTextCantOpen;
        return 0;
    }
    int32_t result = writer(context, file);
    if (std::fclose(file) != 0 && result > 0) {
        context.errorText = kTextIoError;
        result = -1;
    }
    return result;
}

int32_t FinishWriting(ImageFileContext& context, std::FILE* file, bool written) {
    if (!written || std::fflush(file) != 0) {
        context.errorText = kTextIoError;
        return -1;
    }
    return 1;
}

} // namespace pyrola
