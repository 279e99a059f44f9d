#include "app/AdapterSuite.h"

#include "adapters/bsl/BslAdapter.h"
#include "adapters/fet/FetAdapter.h"
#include "adapters/raw/RawJtagAdapter.h"

namespace pyrola {

AdapterSuite::AdapterSuite(LibraryLoader& libraries, PortIo& parallelPorts, SerialPortFactory& serialPorts,
                           Clock& clock, FaultGuard& guard)
    : fet_(std::make_unique<FetAdapter>(libraries, guard)),
      raw_(std::make_unique<RawJtagAdapter>(parallelPorts, clock)),
      bsl_(std::make_unique<BslAdapter>(serialPorts, clock)) {}

AdapterSuite::~AdapterSuite() = default;

AdapterSet AdapterSuite::Set() {
    AdapterSet set;
    set.fet = fet_.get();
    set.raw = raw_.get();
    set.bsl = bsl_.get();
    BslAdapter* bsl = bsl_.get();
    set.setBslPatch = [bsl](bool enabled) { bsl->patchEnabled = enabled ? 1 : 0; };
    set.setBslLine = [bsl](const BslLineOptions& line) { bsl->lineOptions = line; };
    set.bslNeedsPassword = [bsl] { return bsl->needPassword != 0; };
    set.setBslPassword = [bsl](const BslPassword& password) { bsl->password = password; };
    FetAdapter* fet = fet_.get();
    set.fetFirmwareNeeded = [fet] {
        return fet->FirmwareUpdateNeeded() ? fet->FirmwareFetName() : std::string();
    };
    set.updateFetFirmware = [fet] {
        if (fet->UpdateFirmware())
            return std::string();
        const char* why = fet->GetErrorText(fet->GetErrorNumber());
        return std::string(why ? why : "the FET library gave no reason");
    };
    return set;
}

} // namespace pyrola
