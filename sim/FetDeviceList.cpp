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

constexpr FetPartThree kPartsThree[] = {
    {"MSP430F11x1", "MSP430F1121", 0x12},       {"MSP430F11x1A", "MSP430F1121A", 0x13},
    {"MSP430F12x", "MSP430F123", 0x16},         {"MSP430F11x2", "MSP430F1132", 0x14},
    {"MSP430F12x2/F11x2", "MSP430F1232", 0x18}, {"MSP430F133", "MSP430F133", 0x1C},
    {"MSP430F135", "MSP430F135", 0x1D},         {"MSP430F147", "MSP430F147", 0x20},
    {"MSP430F148", "MSP430F148", 0x21},         {"MSP430F149", "MSP430F149", 0x22},
    {"MSP430F155", "MSP430F155", 0x60},         {"MSP430F156", "MSP430F156", 0x61},
    {"MSP430F157", "MSP430F157", 0x62},         {"MSP430F167", "MSP430F167", 0x63},
    {"MSP430F168", "MSP430F168", 0x64},         {"MSP430F169", "MSP430F169", 0x65},
    {"MSP430F1610", "MSP430F1610", 0x70},       {"MSP430F1611", "MSP430F1611", 0x71},
    {"MSP430F1612", "MSP430F1612", 0x72},       {"MSP430F41x", "MSP430F413", 0x30},
    {"MSP430FW42x/F41x", "MSP430FW427", 0x36},  {"MSP430F423", "MSP430F423", 0x38},
    {"MSP430F425", "MSP430F425", 0x39},         {"MSP430F427", "MSP430F427", 0x3A},
    {"MSP430FE423", "MSP430FE423", 0x3B},       {"MSP430FE425", "MSP430FE425", 0x3C},
    {"MSP430FE427", "MSP430FE427", 0x3D},       {"MSP430FE423_P", "MSP430FE423", 0x3B},
    {"MSP430FE425_P", "MSP430FE425", 0x3C},     {"MSP430FE427_P", "MSP430FE427", 0x3D},
    {"MSP430FE423_N", "MSP430FE423", 0x3B},     {"MSP430FE425_N", "MSP430FE425", 0x3C},
    {"MSP430FE427_N", "MSP430FE427", 0x3D},     {"MSP430F43x", "MSP430F437", 0x42},
    {"MSP430F44x", "MSP430F449", 0x45},         {"MSP430FG43x", "MSP430FG439", 0x48},
};

} // namespace

const FetPartThree* FetPartThreeOf(const std::string& chip) {
    for (const FetPartThree& part : kPartsThree) {
        if (chip == part.chip)
            return &part;
    }
    return nullptr;
}

const FetPartThree* FetPartThreeById(uint16_t id) {
    for (const FetPartThree& part : kPartsThree) {
        if (part.id == id)
            return &part;
    }
    return nullptr;
}

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
