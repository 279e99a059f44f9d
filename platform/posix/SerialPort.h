#pragma once
// The POSIX serial backend's line settings, kept apart from the descriptor work so that
// they can be checked without a serial port (a pseudo-terminal ignores parity).

#include <termios.h>

#include <cstdint>

namespace pyrola::posix {

// Raw mode, 8 data bits, the parity (Win32 code: 0 none, 1 odd, 2 even) with input
// parity checking, 1 stop bit, receiver on, modem status ignored, no hardware or
// software flow control, no hang-up on close (the modem lines keep their levels, so that
// closing does not pulse the target's reset); reads return at once with what is waiting.
void ApplySerialTermios(termios& tio, uint8_t parity);

// The modem-control bits `current` with DTR and RTS at the given levels (TIOCM_* bits).
int ModemBits(int current, bool dtr, bool rts);

} // namespace pyrola::posix
