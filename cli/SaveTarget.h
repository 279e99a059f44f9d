#pragma once
// Whether the file a read or dump is to be saved to can be written, found before the chip
// is read: reading a whole chip over the loader takes minutes.

#include <string>

namespace pyrola::cli {

// Empty when the file can be written; else the path and the system's reason. An existing
// file is opened for writing without being cut; a new one is created and removed again.
[[nodiscard]] std::string SaveTargetProblem(const std::string& path);

} // namespace pyrola::cli
