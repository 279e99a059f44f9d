#include "platform/AppendFile.h"

namespace pyrola {

bool RefuseAppend(std::string* why, const std::string& text) {
    if (why)
        *why = text;
    return false;
}

} // namespace pyrola
