// The FET adapter's version-3 path: FETs by the names the library enumerates, the attach
// through MSP430_OpenDevice and MSP430_GetFoundDevice, and the firmware update.
#include "adapters/DeviceTable.h"
#include "adapters/fet/FetAdapter.h"
#include "adapters/fet/FetFoundDevice.h"
#include "base/TextFormat.h"

#include <cstdlib>

namespace pyrola {

bool FetAdapter::Fail(std::string reason) {
    ownError_ = std::move(reason);
    isOpen = 0;
    return false;
}

bool FetAdapter::FailAfterInitialize() {
    // The library's reason first: closing may clear its number.
    if (ownError_.empty() && errorNumber_ != nullptr)
        keptError_ = Guarded("MSP430_Error_Number", [&] { return errorNumber_(); });
    Guarded("MSP430_Close", [&] { return close_(0); });
    isOpen = 0;
    return false;
}

std::vector<std::string> FetAdapter::ListFets() {
    std::vector<std::string> names;
    if (faulted_)
        return names;
    if (!libraryReady_) {
        ForgetEntryPoints();
        LoadEntryPoints();
    }
    if (!libraryReady_ || generation_ != 3)
        return names;
    fet::Long count = 0;
    if (Guarded("MSP430_GetNumberOfUsbIfs", [&] { return numberOfUsbIfs_(&count); }) != 0)
        return names;
    for (fet::Long i = 0; i < count; ++i) {
        char* name = nullptr;
        fet::Long status = 0;
        if (Guarded("MSP430_GetNameOfUsbIf", [&] { return nameOfUsbIf_(i, &name, &status); }) == 0 &&
            name != nullptr)
            names.emplace_back(name); // the text stays the library's; copied at once
    }
    return names;
}

bool FetAdapter::FetName(std::string& name) {
    // A literal name wins, as $PYROLA_COMn does for serial ports.
    const std::string variable = Format("PYROLA_FET%u", unsigned(portNumber));
    if (const char* named = std::getenv(variable.c_str()); named != nullptr && named[0] != '\0') {
        name = named;
        return true;
    }
    const std::vector<std::string> fets = ListFets();
    if (portNumber >= 1 && portNumber <= fets.size()) {
        name = fets[portNumber - 1];
        return true;
    }
    std::string listed;
    for (const std::string& fet : fets)
        listed += (listed.empty() ? "" : ", ") + fet;
    AddNote(Format("FET library: %s (version 3)", LoadedPath().c_str()));
    AddNote(fets.empty() ? std::string("The FET library lists no FET")
                         : Format("The FET library lists: %s", listed.c_str()));
    return Fail(Format("no FET number %u (%u found)", unsigned(portNumber), unsigned(fets.size())));
}

std::string FetAdapter::FirmwareUpdateCommand() const {
    return Format("pyrola --fet-update -fet -c%u", unsigned(portNumber));
}

bool FetAdapter::OpenThree() {
    std::string name;
    if (!FetName(name))
        return false;
    fet::Long version = 0;
    if (Guarded("MSP430_Initialize", [&] { return initialize_(name.c_str(), &version); }) != 0) {
        AddNote(Format("FET library: %s (version 3), FET %s", LoadedPath().c_str(), name.c_str()));
        isOpen = 0;
        return false;
    }
    // Once per Init: which library and which FET answer, and the version it reports.
    AddNote(Format("FET library: %s (version 3), FET %s, version %d", LoadedPath().c_str(), name.c_str(),
                   static_cast<int>(version)));
    if (version == fet::kVersionNeedsUpdate || version == fet::kVersionNeedsMajorUpdate) {
        // Never updated behind the user's back: it takes a while and the FET must stay plugged in.
        firmwareUpdateNeeded_ = true;
        firmwareFetName_ = name;
        Fail(Format("The FET %s needs a firmware update first: run %s", name.c_str(),
                    FirmwareUpdateCommand().c_str()));
        return FailAfterInitialize();
    }
    DeviceRecord& record = *deviceRecord;
    if (Guarded("MSP430_VCC", [&] { return vcc_(record.supplyMillivolts); }) != 0 ||
        Guarded("MSP430_OpenDevice", [&] { return openDevice_("", "", 0, 0, 0); }) != 0) {
        return FailAfterInitialize();
    }
    // A buffer of its own: the library's DEVICE_T is not the engine's record.
    FetFoundDevice found;
    if (Guarded("MSP430_GetFoundDevice", [&] {
            return foundDevice_(reinterpret_cast<uint8_t*>(&found), static_cast<fet::Long>(sizeof found));
        }) != 0) {
        return FailAfterInitialize();
    }
    const std::string part = FoundDeviceName(found);
    const uint32_t row = DeviceIndexOfPart(part);
    if (row == 0) {
        Fail(part.empty() ? std::string("The FET library found a device it does not know")
                          : Format("The FET library found an %s, which Pyrola's device table does not hold",
                                   part.c_str()));
        return FailAfterInitialize();
    }
    // The table's bounds: an F1xx/F4xx part's memory map is fixed, whatever the library's
    // version fills in.
    FillDeviceRecord(row, &record);
    if (Guarded("MSP430_Configure", [&] { return configure_(fet::kVerificationMode, 1); }) != 0)
        return FailAfterInitialize();
    isOpen = 1;
    return true;
}

bool FetAdapter::UpdateFirmware() {
    ownError_.clear();
    keptError_ = -1;
    if (isOpen)
        Close();
    if (!libraryReady_) {
        ForgetEntryPoints();
        LoadEntryPoints();
    }
    if (faulted_ || !libraryReady_)
        return Fail(loadProblem_.empty() ? missingText_ : loadProblem_.substr(0, loadProblem_.find('\n')));
    if (generation_ != 3)
        return Fail(Format("%s is a version-2 FET library, which does not update a FET's firmware",
                           LoadedPath().c_str()));
    std::string name;
    if (!FetName(name))
        return false;
    fet::Long version = 0;
    if (Guarded("MSP430_Initialize", [&] { return initialize_(name.c_str(), &version); }) != 0)
        return false;
    if (Guarded("MSP430_FET_FwUpdate", [&] { return fwUpdate_(nullptr, nullptr, 0); }) != 0)
        return FailAfterInitialize();
    firmwareUpdateNeeded_ = false;
    Guarded("MSP430_Close", [&] { return close_(0); });
    return true;
}

} // namespace pyrola
