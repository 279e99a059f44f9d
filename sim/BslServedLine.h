#pragma once
// The serial line between the simulated loader and a host on a pseudo-terminal, which has
// no line rate: the host's bytes arrive all at once. Each of them reaches the chip one
// character time after the one before it, and each answer byte is due when its last bit
// has left the chip, erase and programming times included. Paced, a server writes every
// answer byte when it is due, so that the host meets a chip's timing; unpaced it writes
// them at once. Bytes can be lost on the way in either direction.
//
// The terminal has no wire, but it does carry the rate the host set on it: bytes the host
// sends while its terminal is set to another rate than the one the loader listens at are
// lost, and so are answers that come due while it is, as framing errors would lose them
// on a cable. A rate of 0 means unknown and is taken as matching.

#include "sim/BslTarget.h"
#include "sim/FaultList.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

namespace pyrola::sim {

inline constexpr uint64_t kBslNothingDue = std::numeric_limits<uint64_t>::max();

class BslServedLine {
public:
    BslServedLine(BslTarget& target, bool paced) : target_(target), paced_(paced) {}

    // The loader's faults: refused passwords and silence go to the chip, lost bytes stay
    // on the line (counted from 1 in each direction since the line was made).
    void SetFaults(const LoaderFaults& faults);

    // Bytes the host wrote, read at nowNs with the host's terminal at hostRate baud. A
    // chip that has left its loader (code started elsewhere) is taken back into it first:
    // a served chip has no program of its own.
    void FromHost(const uint8_t* data, size_t count, uint64_t nowNs, uint32_t hostRate = 0);
    // The host restarted the target: the loader starts over and answers still on the
    // line are lost.
    void Restart(uint64_t nowNs);
    // Answer bytes due by nowNs, oldest first, that reach a host listening at hostRate
    // baud; unpaced, every answer produced so far.
    std::vector<uint8_t> TakeDue(uint64_t nowNs, uint32_t hostRate = 0);
    // When the next answer byte is due; kBslNothingDue when none waits.
    uint64_t NextDueNs() const;

    bool Paced() const { return paced_; }
    // Bytes lost in either direction because the host's rate was not the loader's.
    uint64_t LostToRate() const { return lostToRate_; }

private:
    void Collect();

    BslTarget& target_;
    bool paced_;
    LoaderFaults faults_;
    uint64_t receivedNs_ = 0; // when the last host byte was fully received by the chip
    uint64_t toChip_ = 0;
    uint64_t toHost_ = 0;
    uint64_t lostToRate_ = 0;
    std::deque<BslTimedByte> pending_;
};

} // namespace pyrola::sim
