#include "base/SystemReason.h"

#include <filesystem>

namespace pyrola {

std::string SystemReasonFor(const std::string& path, const std::error_code& error) {
    std::error_code ignored;
    const std::filesystem::path absolute =
        path.empty() ? std::filesystem::path() : std::filesystem::absolute(path, ignored);
    return (absolute.empty() ? path : absolute.string()) + ": " + error.message();
}

std::string SystemReasonFor(const std::string& path, int errorNumber) {
    return SystemReasonFor(path, std::error_code(errorNumber, std::generic_category()));
}

} // namespace pyrola
