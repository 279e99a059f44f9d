#include "image/ReaderFile.h"

#include "base/SystemReason.h"
#include "base/TextFormat.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace pyrola {

bool IsNonRegularFile(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status))
        return false;
    return !std::filesystem::is_regular_file(status);
}

int32_t ReadThroughFile(ImageFileContext& context, const std::string& path, StreamReader reader) {
    if (IsNonRegularFile(path)) {
        context.errorText = kTextNotRegularFile;
        return 0;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        context.errorText = kTextCantOpen;
        context.errorDetail = SystemReasonFor(path, errno);
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
