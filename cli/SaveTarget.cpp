#include "cli/SaveTarget.h"

#include "base/SystemReason.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace pyrola::cli {

std::string SaveTargetProblem(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status))
        return SystemReasonFor(path, EISDIR);
    const bool existed = std::filesystem::exists(status);
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), existed ? "r+b" : "wb");
    if (!file)
        return SystemReasonFor(path, errno);
    std::fclose(file);
    if (!existed)
        std::filesystem::remove(path, error);
    return {};
}

} // namespace pyrola::cli
