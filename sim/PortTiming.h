#pragma once
// How long each access of a simulated parallel port takes, varying as a real PC's does:
//   access     the steady cost of one access
//   jitter     up to this much more on each access (a fixed pseudo-random sequence)
//   cold       this much more on the first access after the port is opened and after
//              every wait the programmer reports (caches and bus bridges gone cold)
//   change     after `changeAfter` accesses the steady cost becomes `changedAccess` (the
//              machine changed its clock, a second program let go of the bus)
//   stalls     every `stallEvery` of modelled time one access is delayed by `stall`, as
//              when the scheduler preempts the program; tests also place single stalls
// From the environment (SimPortSession): $PYROLA_SIM_PORT_NS, $PYROLA_SIM_PORT_JITTER_NS,
// $PYROLA_SIM_PORT_COLD_NS, $PYROLA_SIM_PORT_CHANGE ("accesses:ns"), $PYROLA_SIM_PORT_STALL
// ("us/ms": that long, that often).

#include "sim/SimChipSetup.h"

#include <cstdint>
#include <map>
#include <string>

namespace pyrola::sim {

struct PortTimingSetup {
    uint64_t accessNs = 1000;
    uint64_t jitterNs = 0;
    uint64_t coldNs = 0;
    uint64_t changeAfter = 0; // 0 = no change
    uint64_t changedAccessNs = 0;
    uint64_t stallNs = 0;
    uint64_t stallEveryNs = 0; // 0 = no periodic stalls
};

// The setup from the environment; false with the reason in `error` on a bad value.
bool ReadPortTiming(const SimEnvironment& environment, PortTimingSetup* setup, std::string* error);

class PortTiming {
public:
    explicit PortTiming(const PortTimingSetup& setup = {}) : setup_(setup) {}

    // The cost of access number `access` (counted from 1) starting at `nowNs`.
    uint64_t Cost(uint64_t access, uint64_t nowNs);
    // The next access is a cold one.
    void Cool() { cold_ = true; }
    // One stall of `ns` before access number `access`.
    void StallBefore(uint64_t access, uint64_t ns) { stalls_[access] += ns; }
    // From access `access` on, each access costs `ns`.
    void ChangeAt(uint64_t access, uint64_t ns) {
        setup_.changeAfter = access;
        setup_.changedAccessNs = ns;
    }

    const PortTimingSetup& Setup() const { return setup_; }
    uint64_t StallsTaken() const { return stallsTaken_; }

private:
    PortTimingSetup setup_;
    bool cold_ = true;
    uint64_t random_ = 0x2545F4914F6CDD1Du;
    uint64_t nextStallNs_ = 0;
    uint64_t stallsTaken_ = 0;
    std::map<uint64_t, uint64_t> stalls_;
};

} // namespace pyrola::sim
