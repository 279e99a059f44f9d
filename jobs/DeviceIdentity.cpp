#include "jobs/DeviceIdentity.h"

#include "adapters/DeviceTable.h"
#include "base/TextFormat.h"
#include "jobs/JobFlags.h"

#include <vector>

namespace pyrola {

namespace {

// The first image byte that lies in the flash of some candidate but outside the shared
// memory; -1 when there is none.
int64_t FirstByteBeyond(const MemoryImage& image, const MemoryRanges& shared,
                        const std::vector<uint32_t>& rows) {
    if (image.Low() > image.High())
        return -1;
    const uint32_t last = std::min<uint32_t>(image.High(), image.CellCount() - 1);
    for (uint32_t address = image.Low(); address <= last; ++address) {
        if (!image.IsPresent(address) || shared.InFlash(address))
            continue;
        for (uint32_t row : rows) {
            const FamilyBounds b = DeviceBounds(row);
            if ((address >= b.mainStart && address <= b.mainEnd) ||
                (address >= b.infoStart && address <= b.infoEnd))
                return address;
        }
    }
    return -1;
}

void LogDevice(StepContext& context, const std::string& name) {
    context.ReportLog("Device: %s. Info(0x%.4X-0x%.4X), Main:(0x%.4X-0x%.4X)", name.c_str(),
                      unsigned(context.Ranges().infoStart), unsigned(context.Ranges().infoEnd),
                      unsigned(context.Ranges().mainStart), unsigned(context.Ranges().mainEnd));
}

} // namespace

bool SettleDeviceIdentity(StepContext& context, std::string& problem) {
    TargetAdapter* const target = context.target;
    const std::vector<uint32_t> rows =
        target->candidates.size() > 1 ? target->candidates : DeviceSiblings(context.device.index);
    const uint32_t required = context.request.requiredDevice;
    if (rows.size() <= 1) {
        target->candidates.clear();
        const std::string name = DeviceRecordName(context.device);
        LogDevice(context, name);
        if (required != 0 && DeviceAmong({context.device.index}, required) == 0) {
            problem = Format("The chip is %s, not the %s that was named", name.c_str(), DeviceName(required));
            return false;
        }
        return true;
    }
    const std::string list = DeviceListText(rows);
    const uint32_t chosen = DeviceAmong(rows, required != 0 ? required : target->requestedDevice);
    if (required != 0 && chosen == 0) {
        problem =
            Format("The chip is one of %s, not the %s that was named", list.c_str(), DeviceName(required));
        return false;
    }
    // The adapter keeps the set: an erase that must reach flash on every part of it, as the
    // loader's main-memory erase must, still can.
    target->candidates = rows;
    if (chosen != 0) {
        FillDeviceRecord(chosen, &context.device);
        LogDevice(context, DevicePartName(chosen));
        context.ReportLog("Chosen among %s, which the %s adapter cannot tell apart.", list.c_str(),
                          target->GetName());
        return true;
    }
    // Nothing chosen: the memory every candidate has, and the steps stay inside it.
    FillDeviceRecord(DeviceSharedRow(rows), &context.device);
    LogDevice(context, "one of " + list);
    context.ReportLog("The %s adapter cannot tell these apart: memory steps keep to the memory all of them "
                      "have. Name the part with --device (or choose it in the device list) to use all of its "
                      "memory.",
                      target->GetName());
    const uint32_t steps = context.remainingSteps != nullptr ? context.remainingSteps->load() : kJobProgram;
    if ((steps & (kJobProgram | kJobVerify)) != 0) {
        const int64_t beyond = FirstByteBeyond(*context.image, context.Ranges(), rows);
        if (beyond >= 0) {
            problem = Format("The image reaches 0x%.4X, beyond the memory all of %s have: name the part with "
                             "--device (or choose it in the device list)",
                             unsigned(beyond), list.c_str());
            return false;
        }
    }
    return true;
}

} // namespace pyrola
