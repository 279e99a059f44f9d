#include "platform/FileFacts.h"

namespace pyrola {

std::string LockPathFor(const std::string& path) {
    const FileFacts facts = ExamineFile(path);
    return (facts.resolvedPath.empty() ? path : facts.resolvedPath) + ".lock";
}

} // namespace pyrola
