#include "image/ReaderFile.h"

#include "ui/TextFormat.h"

namespace pyrola {

int32_t ReadThroughFile(ImageFileContext& context, const std::string& path, StreamReader reader) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        context.errorText = kTextCantOpen;
        return 0;
    }
    const int32_t count = reader(context, file);
    std::fclose(file);
    return count;
}

int32_t FailOnLine(ImageFileContext& context, const char* format, int lineNumber) {
    context.errorText = Format(format, lineNumber);
    return 0;
}

} // namespace pyrola
