#include "image/WriterFile.h"

#include "base/SystemReason.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace pyrola {

namespace {

// Opening a FIFO for writing waits for a reader, possibly for ever. Devices are written
// like files (a full disk is tried on /dev/full).
bool WouldWaitForAReader(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_type type = std::filesystem::status(path, error).type();
    return type == std::filesystem::file_type::fifo || type == std::filesystem::file_type::socket;
}

} // namespace

int32_t WriteThroughFile(ImageFileContext& context, const std::string& path, StreamWriter writer) {
    if (WouldWaitForAReader(path)) {
        context.errorText = kTextNotRegularFile;
        return 0;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        context.errorText = kTextCantOpen;
        context.errorDetail = SystemReasonFor(path, errno);
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
