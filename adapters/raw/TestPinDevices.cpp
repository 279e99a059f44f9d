#include "adapters/raw/TestPinDevices.h"

#include "adapters/DeviceTable.h"

#include <cstring>
#include <initializer_list>

namespace pyrola {

bool DeviceNeedsTestPin(uint32_t deviceIndex) {
    if (deviceIndex == 0) {
        return false;
    }
    const char* name = DeviceName(deviceIndex);
    for (const char* family : {"MSP430F11x1", "MSP430F12x", "MSP430F11x2", "MSP430F12x2"}) {
        if (std::strncmp(name, family, std::strlen(family)) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace pyrola
