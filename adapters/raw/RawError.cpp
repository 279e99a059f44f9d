#include "adapters/raw/RawError.h"

namespace pyrola {

namespace {

constexpr const char* kTexts[] = {
    "No error",
    "Could not initialize device interface",
    "Invalid parameter(s)",
    "Could not find device (or device not supported)",
    "Unknown device",
    "Could not read device memory",
    "Could not write device memory",
    "Could not read device configuration fuses",
    "Could not reset device",
    "Could not erase device memory",
    "Could not run device",
    "Verification error",
    "Could not blow device security fuse",
    "Invalid JTAG version ID",
    "Could not access device - security fuse is blown",
};
static_assert(sizeof kTexts / sizeof kTexts[0] == kRawFuseBlown + 1);

} // namespace

const char* RawErrorText(int32_t number) {
    if (number < 0 || number > kRawFuseBlown) {
        return "Invalid error number";
    }
    return kTexts[number];
}

} // namespace pyrola
