#include "sim/FetDeviceList.h"

namespace pyrola::sim {

namespace {

constexpr const char* kRows[kFetDeviceRows] = {
    "Device unknown",
    "Prototype MSP430F11x1",
    "MSP430F11x1",
    "MSP430F133",
    "MSP430F135",
    "MSP430F147",
    "MSP430F148",
    "MSP430F149",
    "Preliminary MSP430F413",
    "MSP430F41x",
    "MSP430F11x1A",
    "MSP430F12x",
    "MSP430F43x",
    "MSP430F43x",
    "MSP430F44x",
    "Preliminary MSP430F12x2",
    "MSP430F11x2",
    "MSP430F12x2/F11x2",
    "Preliminary MSP430F16x",
    "MSP430FE423_P",
    "MSP430FE425_P",
    "MSP430FE427_P",
    "MSP430FE423_N",
    "MSP430FE425_N",
    "MSP430FE427_N",
    "MSP430FE423",
    "MSP430FE425",
    "MSP430FE427",
    "MSP430F423",
    "MSP430F425",
    "MSP430F427",
    "MSP430FW42x/F41x",
    "MSP430F155",
    "MSP430F156",
    "MSP430F157",
    "MSP430F167",
    "MSP430F168",
    "MSP430F169",
    "MSP430F1610",
    "MSP430F1611",
    "MSP430F1612",
    "MSP430F169",
    "MSP430FG43x",
    "DEFAULT",
};

} // namespace

const char* FetDeviceName(uint32_t row) {
    return row < kFetDeviceRows ? kRows[row] : nullptr;
}

uint32_t FetDeviceRowOf(const std::string& name) {
    for (uint32_t row = 1; row < kFetDeviceRows; ++row) {
        if (name == kRows[row])
            return row;
    }
    return 0;
}

} // namespace pyrola::sim
