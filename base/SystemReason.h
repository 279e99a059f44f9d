#pragma once
// The second line of a file or port failure: what was tried and the system's own reason,
// so that "Can't open" says which file (made absolute: a relative name hides the folder it
// was looked for in) and why.

#include <string>
#include <system_error>

namespace pyrola {

// "/home/ann/fw.txt: No such file or directory" for the C library's error number.
std::string SystemReasonFor(const std::string& path, int errorNumber);
// The same with a std::error_code.
std::string SystemReasonFor(const std::string& path, const std::error_code& error);

} // namespace pyrola
