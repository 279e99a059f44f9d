#pragma once
// A test's board socket: a control file ($PYROLA_SIM_BOARD) the simulator reads again
// whenever a programmer reaches for the chip, saying which board sits in the socket:
//   none                  no board: the chip does not answer
//   board NAME [FAULTS]   board NAME; a name other than that of the last board seen is a
//                         new, blank chip of the same device with FAULTS (FaultList.h)
//                         injected, e.g. "board 7 stuck=0xF000:0x80:0"
// A missing or empty file leaves the chip as it is. The name of the last board seen is
// kept in a file of its own where the chip outlives the program (a state file).

#include "sim/DeviceModel.h"
#include "sim/FaultList.h"

#include <string>

namespace pyrola::sim {

class BoardSocket {
public:
    enum class Look {
        AsItIs,   // the file says nothing
        Absent,   // no board in the socket
        Present,  // the board seen last
        Inserted, // a new board: the chip was replaced
        Invalid,  // the file says something else; `error` tells what
    };

    // `memoryPath`: where the last board's name is kept between programs; empty to keep
    // it in this object only.
    BoardSocket(std::string path, std::string memoryPath);

    // Reads the file again. On Inserted, `chip` is a blank chip of its device with the
    // board's faults (the loader's items in `loader`, which is cleared first). A chip
    // `reloaded` from a state file (which keeps no faults) gets the board's faults again.
    Look Check(DeviceModel& chip, LoaderFaults* loader, bool reloaded, std::string& error);

private:
    std::string path_;
    std::string memoryPath_;
    std::string lastBoard_;
    bool lastBoardRead_ = false;
};

} // namespace pyrola::sim
