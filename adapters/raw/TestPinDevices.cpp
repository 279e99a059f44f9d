#include "adapters/raw/TestPinDevices.h"

#include "adapters/DeviceTable.h"

namespace pyrola {

bool DeviceNeedsTestPin(uint32_t deviceIndex) {
    return DeviceHasTestPin(deviceIndex);
}

} // namespace pyrola
