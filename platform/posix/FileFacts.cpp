#include "platform/FileFacts.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace pyrola {

namespace {

std::string Resolved(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

} // namespace

FileFacts ExamineFile(const std::string& path) {
    FileFacts facts;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        facts.exists = true;
        facts.regular = S_ISREG(info.st_mode);
        facts.links = static_cast<uint32_t>(info.st_nlink);
        facts.resolvedPath = Resolved(path);
        // Write bits as well as access(): root may write anything, but a file marked
        // read-only is meant to stay as it is.
        facts.writable = facts.regular && (info.st_mode & 0222) != 0 && access(path.c_str(), W_OK) == 0;
    } else if (errno == ENOENT) {
        const std::string base = Resolved(folder);
        if (!base.empty())
            facts.resolvedPath = (base == "/" ? base : base + "/") + path.substr(slash + 1);
        facts.writable = !base.empty() && access(folder.c_str(), W_OK | X_OK) == 0;
    }
    const std::string& final = facts.resolvedPath;
    const size_t finalSlash = final.rfind('/');
    const std::string finalFolder =
        final.empty() ? folder : (finalSlash == 0 ? "/" : final.substr(0, finalSlash));
    facts.folderWritable = access(finalFolder.c_str(), W_OK | X_OK) == 0;
    const std::string volume = facts.resolvedPath.empty() ? folder : facts.resolvedPath;
    struct statvfs space {};
    if (statvfs(facts.exists ? volume.c_str() : folder.c_str(), &space) == 0)
        facts.freeBytes = uint64_t(space.f_bavail) * uint64_t(space.f_frsize);
    return facts;
}

} // namespace pyrola
