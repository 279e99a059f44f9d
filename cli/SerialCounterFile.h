#pragma once
// The production line's ".sprj" file on disk: checked (a regular file with one name; for
// taking numbers one this user may replace), read strictly (SerialConfigCheck, also with a
// byte-order mark or CR-only line ends, and never a file that ends inside a line), and
// changed only under the lock beside the file it finally names, by whole-file replacement
// that keeps everything but the changed lines (and the text form).

#include "serialno/SerialConfig.h"
#include "serialno/SharedSerialFile.h"

#include <functional>
#include <string>

namespace pyrola {

struct SerialFileRead {
    std::string problem; // empty when the file is usable
    SerialConfig config;
};

// forWriting: the next number must be storable (the file and its folder writable).
SerialFileRead ReadSerialCounterFile(const std::string& path, bool forWriting);

// Under the lock: reads the file strictly, lets accept refuse its configuration (a text
// that is returned as the problem; nothing is stored), stores the next number (without the
// types' wrap to 0: a wrapped number was given out before) and hands out the current one.
SerialTake TakeSerialNumber(const std::string& path,
                            const std::function<std::string(const SerialConfig&)>& accept);

// The dialog's save under the lock: Address, Type and Serial written (other lines kept),
// unless the file's counter is past config's, whatever type or form either has.
std::string StoreSerialConfig(const std::string& path, const SerialConfig& config);

// The above for the serialization dialog.
SharedSerialFile& SystemSharedSerialFile();

} // namespace pyrola
