#pragma once
// A ".sprj" file that a production line takes its serial numbers from: the headless
// program and the serialization dialog take numbers from it the same way, under one lock,
// so that no number goes to two boards, and no save moves its counter back to numbers
// already given out. The file system work lives in the platform layer
// (cli/SerialCounterFile.h); this is what the dialog's logic sees of it.

#include "serialno/SerialConfig.h"

#include <functional>
#include <string>

namespace pyrola {

struct SerialTake {
    std::string problem; // empty when a number was taken
    SerialConfig config; // the file's configuration, its serial the number taken
    std::string next;    // the serial stored in the file as the next board's
};

class SharedSerialFile {
public:
    virtual ~SharedSerialFile() = default;
    // Takes the file's current number (the file read strictly) and stores the next; accept,
    // when given, may refuse the file's configuration first (its text is the problem, and
    // nothing is taken).
    virtual SerialTake Take(const std::string& path,
                            const std::function<std::string(const SerialConfig&)>& accept = {}) = 0;
    // Writes the configuration unless the file's counter (same text around it, same type)
    // is already past the configuration's. Empty on success, else why not.
    virtual std::string Store(const std::string& path, const SerialConfig& config) = 0;
};

} // namespace pyrola
