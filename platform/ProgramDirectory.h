#pragma once
// The folder that holds the running program, for files shipped beside it.

#include <string>

namespace pyrola {

// Without a trailing separator; empty when the system cannot tell.
std::string ProgramDirectory();

// The path of a file of that name beside the program ("\\" between them on Windows);
// empty when the folder is unknown.
inline std::string BesideProgram(const std::string& name) {
#if defined(_WIN32)
    constexpr char kSeparator = '\\';
#else
    constexpr char kSeparator = '/';
#endif
    const std::string folder = ProgramDirectory();
    return folder.empty() ? std::string() : folder + kSeparator + name;
}

} // namespace pyrola
