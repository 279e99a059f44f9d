#include "sim/FetHeaderErrors.h"

namespace pyrola::sim {

namespace {

// ERROR_DEFINITIONS of MSP430.h (3.2.5.4), in order: the index is the number.
constexpr const char* kHeaderTexts[] = {
    "No error",
    "Could not initialize device interface",
    "Could not close device interface",
    "Invalid parameter(s)",
    "Could not find device (or device not supported)",
    "Unknown device",
    "Could not read device memory",
    "Could not write device memory",
    "Could not read device configuration fuses",
    "Incorrectly configured device; device derivative not supported",
    "Could not set device Vcc",
    "Could not reset device",
    "Could not preserve/restore device memory",
    "Could not set device operating frequency",
    "Could not erase device memory",
    "Could not set device breakpoint",
    "Could not single step device",
    "Could not run device (to breakpoint)",
    "Could not determine device state",
    "Could not open Enhanced Emulation Module",
    "Could not read Enhanced Emulation Module register",
    "Could not write Enhanced Emulation Module register",
    "Could not close Enhanced Emulation Module",
    "File open error",
    "File type could not be identified",
    "File end error",
    "File input/output error",
    "File data error",
    "Verification error",
    "Could not blow device security fuse",
    "Security Fuse has been blown",
    "Error within Intel Hex file",
    "Could not write device Register",
    "Could not read device Register",
    "Not supported by selected Interface or Interface is not initialized",
    "Interface Communication error",
    "No external power supply detected",
    "External power too low",
    "External power detected",
    "External power too high",
    "Hardware Self Test Error",
    "Fast Flash Routine experienced a timeout",
    "Could not create thread for polling",
    "Could not initialize Enhanced Emulation Module",
    "Insufficent resources",
    "No clock control emulation on connected device",
    "No state storage buffer implemented on connected device",
    "Could not read trace buffer",
    "Enable the variable watch function",
    "No trigger sequencer implemented on connected device",
    "Could not read sequencer state - Sequencer is disabled",
    "Could not remove trigger - Used in sequencer",
    "Could not set combination - Trigger is used in sequencer",
    "System Protection Module A is enabled - Device locked",
    "Invalid SPMA key was passed to the target device - Device locked",
    "Device does not accept any further SPMA keys - Device locked",
    "MSP-FET430UIF Firmware erased - Bootloader active",
    "Could not find MSP-FET430UIF on specified COM port",
    "MSP-FET430UIF is already in use",
    "EEM polling thread is already active",
    "Could not terminate EEM polling thread",
    "Could not unlock BSL memory segments",
    "Could not perform access, BSL memory segments are protected",
    "Another device as selected was found",
    "Could not enable JTAG wrong password",
    "Only one UIF must be connected during update to v3",
    "CDC-USB-FET-Driver was not installed. Please install the driver",
    "Manual reboot of USB-FET needed ! PLEASE unplug and reconnect your USB-FET!!",
    "Internal error",
    "Invalid error number",
};
static_assert(sizeof kHeaderTexts / sizeof kHeaderTexts[0] == kHeaderInvalidErr + 1);

} // namespace

int32_t HeaderErrorOf(FetError error) {
    switch (error) {
    case kFetNoError:
        return kHeaderNoError;
    case kFetNotInitialized:
        return kHeaderInterfaceSupportErr;
    case kFetBadPort:
        return kHeaderUsbFetNotFoundErr;
    case kFetStateUnreadable:
    case kFetStateUnwritable:
    case kFetUnknownDevice:
    case kFetDeviceMismatch:
    case kFetBadFaults:
        // The simulator's own setup went wrong: the library could not start.
        return kHeaderInitializeErr;
    case kFetSupplyRange:
    case kFetPowerLost:
        return kHeaderVccErr;
    case kFetNoSupply:
    case kFetNotIdentified:
    case kFetNoTarget:
        return kHeaderNoDeviceErr;
    case kFetSecured:
        return kHeaderFuseBlownErr;
    case kFetBadArgument:
    case kFetBadAddress:
    case kFetRecordTooSmall:
        return kHeaderParameterErr;
    case kFetEraseFailed:
        return kHeaderEraseErr;
    case kFetWriteFailed:
        return kHeaderWriteMemoryErr;
    case kFetNotBlank:
    case kFetVerifyFailed:
        return kHeaderVerifyErr;
    case kFetFirmwareOld:
        return kHeaderCommErr;
    case kFetOtherDevice:
        return kHeaderFoundOtherDevice;
    case kFetHostCrashed:
    case kFetErrorCount:
        break;
    }
    return kHeaderInternalErr;
}

const char* HeaderErrorText(int32_t number) {
    if (number < 0 || number > kHeaderInvalidErr)
        return kHeaderTexts[kHeaderInvalidErr];
    return kHeaderTexts[number];
}

} // namespace pyrola::sim
