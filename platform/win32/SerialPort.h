#pragma once
// The Win32 COM-port backend's fixed line settings, kept apart from the handle work so
// that they can be checked without a port.

#include <windows.h>

#include <cstdint>

namespace pyrola::win32 {

// Read interval 50 ms, read total 1 ms per byte + 50 ms, write total 1 ms per byte + 50 ms.
COMMTIMEOUTS SerialTimeouts(const COMMTIMEOUTS& current);

// Event mask: received character, event character, transmit queue empty, line error.
inline constexpr DWORD kSerialEventMask = EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_ERR;
static_assert(kSerialEventMask == 0x87);

// Edits a DCB read from the port: baud rate, 8 data bits, the parity, one stop bit, error
// character 0xFF, binary mode, parity checking exactly when a parity is set, no hardware
// or software flow control, no error replacement, no null stripping, DTR and RTS at the
// idle levels (on unless told otherwise), set in the same step as the rest.
// DSR sensitivity, transmit-continue-on-XOFF and abort-on-error keep their values.
void ApplySerialLineSettings(DCB& dcb, uint32_t baudRate, uint8_t parity, bool dtr = true, bool rts = true);

} // namespace pyrola::win32
