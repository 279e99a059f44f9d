#include "image/FilePath.h"

namespace pyrola {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Index of the extension's "." or npos.
size_t ExtensionDot(std::string_view path) {
    for (size_t i = path.size(); i > 1; --i) {
        const char c = path[i - 1];
        if (IsSeparator(c))
            break;
        if (c == '.')
            return i - 1;
    }
    return std::string_view::npos;
}

} // namespace

std::string ExtensionOf(std::string_view path) {
    const size_t dot = ExtensionDot(path);
    return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot + 1));
}

std::string FileNamePart(std::string_view path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1]))
            return std::string(path.substr(i));
    }
    return std::string(path);
}

std::string WithExtension(std::string_view path, std::string_view extension) {
    const size_t dot = ExtensionDot(path);
    std::string result(dot == std::string_view::npos ? path : path.substr(0, dot));
    result += '.';
    result += extension;
    return result;
}

} // namespace pyrola
