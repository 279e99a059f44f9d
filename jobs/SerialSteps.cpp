#include "jobs/JobEngine.h"

namespace pyrola {

// The serial-number steps are not built yet: until they are, a request for one ends the
// list with a clear failure instead of pretending the number was written or read.
namespace {
constexpr const char* kSerialUnavailable = "Serial number steps are not available in this build";
}

bool JobEngine::StepWriteSerialNumber() {
    if (!adapter->isOpen)
        return false;
    ReportStatus("%s failed.", 1, "Write serial number");
    ReportLog("%s", kSerialUnavailable);
    return false;
}

bool JobEngine::StepReadSerialNumber() {
    if (!adapter->isOpen)
        return false;
    ReportStatus("%s failed.", 1, "Read serial number");
    ReportLog("%s", kSerialUnavailable);
    return false;
}

} // namespace pyrola
