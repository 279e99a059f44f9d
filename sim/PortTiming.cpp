#include "sim/PortTiming.h"

#include <cerrno>
#include <cstdlib>

namespace pyrola::sim {

namespace {

constexpr uint64_t kLongestAccessNs = 1000000;
constexpr uint64_t kLongestStallNs = 10000000000u; // 10 s

// A decimal number from `text` up to `end`; false when there is none or it is above `most`.
bool Number(const char* text, char** end, uint64_t most, uint64_t* value) {
    if (text[0] < '0' || text[0] > '9') {
        return false;
    }
    errno = 0;
    const unsigned long long v = std::strtoull(text, end, 10);
    if (errno != 0 || v > most) {
        return false;
    }
    *value = v;
    return true;
}

// One variable, "a" or "a<separator>b"; unset or empty leaves the values alone.
bool Field(const SimEnvironment& environment, const char* name, char separator, uint64_t mostA, uint64_t* a,
           uint64_t mostB, uint64_t* b, std::string* error, const char* form) {
    const char* text = environment(name);
    if (text == nullptr || text[0] == '\0') {
        return true;
    }
    char* end = nullptr;
    bool ok = Number(text, &end, mostA, a);
    if (ok && separator != '\0') {
        ok = *end == separator && Number(end + 1, &end, mostB, b);
    }
    if (!ok || *end != '\0') {
        *error = std::string("Invalid simulated port timing (") + name + ": " + form + ")";
        return false;
    }
    return true;
}

} // namespace

bool ReadPortTiming(const SimEnvironment& environment, PortTimingSetup* setup, std::string* error) {
    uint64_t unused = 0;
    if (!Field(environment, "PYROLA_SIM_PORT_NS", '\0', kLongestAccessNs, &setup->accessNs, 0, &unused, error,
               "1 to 1000000 ns") ||
        setup->accessNs == 0) {
        *error = "Invalid simulated port access time (PYROLA_SIM_PORT_NS: 1 to 1000000 ns)";
        return false;
    }
    uint64_t stallUs = 0, everyMs = 0;
    const bool ok = Field(environment, "PYROLA_SIM_PORT_JITTER_NS", '\0', kLongestAccessNs, &setup->jitterNs,
                          0, &unused, error, "0 to 1000000 ns") &&
                    Field(environment, "PYROLA_SIM_PORT_COLD_NS", '\0', kLongestAccessNs, &setup->coldNs, 0,
                          &unused, error, "0 to 1000000 ns") &&
                    Field(environment, "PYROLA_SIM_PORT_CHANGE", ':', UINT64_MAX, &setup->changeAfter,
                          kLongestAccessNs, &setup->changedAccessNs, error, "accesses:ns, ns 1 to 1000000") &&
                    Field(environment, "PYROLA_SIM_PORT_STALL", '/', kLongestStallNs / 1000, &stallUs,
                          3600000, &everyMs, error, "us/ms, a stall that long that often");
    if (!ok) {
        return false;
    }
    if (setup->changeAfter != 0 && setup->changedAccessNs == 0) {
        *error = "Invalid simulated port timing (PYROLA_SIM_PORT_CHANGE: accesses:ns, ns 1 to 1000000)";
        return false;
    }
    setup->stallNs = stallUs * 1000u;
    setup->stallEveryNs = everyMs * 1000000u;
    return true;
}

uint64_t PortTiming::Cost(uint64_t access, uint64_t nowNs) {
    uint64_t ns =
        setup_.changeAfter != 0 && access > setup_.changeAfter ? setup_.changedAccessNs : setup_.accessNs;
    if (setup_.jitterNs != 0) {
        // xorshift: the same sequence on every run.
        random_ ^= random_ << 13;
        random_ ^= random_ >> 7;
        random_ ^= random_ << 17;
        ns += random_ % (setup_.jitterNs + 1);
    }
    if (cold_) {
        cold_ = false;
        ns += setup_.coldNs;
    }
    const auto placed = stalls_.find(access);
    if (placed != stalls_.end()) {
        ns += placed->second;
        ++stallsTaken_;
        stalls_.erase(placed);
    }
    if (setup_.stallEveryNs != 0 && setup_.stallNs != 0) {
        if (nextStallNs_ == 0) {
            nextStallNs_ = nowNs + setup_.stallEveryNs;
        } else if (nowNs >= nextStallNs_) {
            ns += setup_.stallNs;
            ++stallsTaken_;
            nextStallNs_ = nowNs + setup_.stallEveryNs;
        }
    }
    return ns;
}

} // namespace pyrola::sim
