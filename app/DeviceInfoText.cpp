#include "app/DeviceInfoText.h"

#include "adapters/DeviceTable.h"
#include "base/TextFormat.h"

namespace pyrola {

std::string MemorySizeText(uint32_t size, bool allowMegabytes) {
    if (size < 16)
        return "0B";
    if (size < 1024)
        return Format("%d%s", static_cast<int>(size), "B");
    uint32_t k = (size + 511) / 1024;
    if (allowMegabytes && k >= 1024)
        return Format("%d%s", static_cast<int>(k / 1024), "MB");
    return Format("%d%s", static_cast<int>(k), "KB");
}

std::string DeviceInfoText(uint32_t index) {
    if (index >= kDeviceCount || index == 0)
        return {};
    const FamilyBounds b = DeviceBounds(index);
    auto span = [](uint32_t first, uint32_t last) { return last >= first ? last - first + 1 : 0; };
    return MemorySizeText(span(b.mainStart, b.mainEnd), true) + "+" +
           MemorySizeText(span(b.infoStart, b.infoEnd), false) + " Flash, " +
           MemorySizeText(span(b.ramStart, b.ramEnd), false) + " RAM";
}

} // namespace pyrola
