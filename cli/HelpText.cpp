#include "cli/HelpText.h"

namespace pyrola::cli {

std::string ReferenceHelpText() {
    std::string text =
        "Adapters and their ports (-c{port} numbers them from 1; --list-ports shows them):\n"
#ifdef _WIN32
        "    -fet  the FET interface library MSP430.dll: FET n as the library lists it\n"
        "          (version 3; %PYROLA_FETn% names one), or LPTn (version 2)\n"
        "    -raw  JTAG on parallel port LPTn through the WinIo driver (LPT1 0x378,\n"
        "          LPT2 0x278, LPT3 0x3BC), or the port library %PYROLA_LPTn% names\n"
        "    -bsl  the chip's bootstrap loader on serial port COMn (\\\\.\\COMn)\n"
        "Settings: the registry, HKEY_CURRENT_USER\\Software\\Qorvane\\Pyrola, or the file\n"
        "    %PYROLA_SETTINGS% names\n"
#else
        "    -fet  the FET interface library libmsp430.so: FET n as the library lists it\n"
        "          (version 3; $PYROLA_FETn names one), or LPTn (version 2)\n"
        "    -raw  JTAG on parallel port LPTn: $PYROLA_LPTn, else /dev/parport<n-1> (ppdev)\n"
        "    -bsl  the chip's bootstrap loader on serial port COMn: $PYROLA_COMn, else\n"
        "          /dev/ttyS<n-1> (a USB serial cable: PYROLA_COM1=/dev/ttyUSB0)\n"
        "Settings: $PYROLA_SETTINGS, else $XDG_CONFIG_HOME/pyrola/settings.ini, else\n"
        "    ~/.config/pyrola/settings.ini\n"
#endif
        "Environment:\n"
        "    PYROLA_SETTINGS      the settings file\n"
        "    PYROLA_FET_LIBRARY   another FET library file\n"
        "    PYROLA_COMn          the serial device of port COMn\n"
        "    PYROLA_LPTn          the parallel port device (or port library) of LPTn\n"
        "    PYROLA_SIM_*         the simulated chip (see the README)\n"
        "Exit status:\n"
        "    0  every requested step completed (or options were stored with --store-settings)\n"
        "    1  a step failed, the job was cancelled (Ctrl+C, SIGTERM, SIGHUP), a serial read\n"
        "       found an erased place or a log line could not be written\n"
        "    2  nothing was done: the command line, an option, a file or its format was refused,\n"
        "       or the identified chip cannot hold the image or the serial (nothing erased)\n"
        "    With --gang or --loop: 0 every board passed, 1 any did not, 2 none was done;\n"
        "    --probe: 0 a board answers, 1 none does, 3 the port cannot be reached";
    return text;
}

} // namespace pyrola::cli
