#include "platform/ProgramDirectory.h"

#include <limits.h>
#include <unistd.h>

namespace pyrola {

std::string ProgramDirectory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    std::string full(path, static_cast<size_t>(length));
    const size_t slash = full.find_last_of('/');
    return slash == std::string::npos ? std::string() : full.substr(0, slash);
}

} // namespace pyrola
