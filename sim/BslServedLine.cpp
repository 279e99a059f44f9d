#include "sim/BslServedLine.h"

#include <algorithm>

namespace pyrola::sim {

namespace {

bool RatesMeet(uint32_t hostRate, uint32_t chipRate) {
    return hostRate == 0 || hostRate == chipRate;
}

} // namespace

void BslServedLine::SetFaults(const LoaderFaults& faults) {
    faults_ = faults;
    target_.SetRefusePasswords(faults.refusePasswords);
    target_.SetSilent(faults.silent);
}

void BslServedLine::FromHost(const uint8_t* data, size_t count, uint64_t nowNs, uint32_t hostRate) {
    for (size_t i = 0; i < count; ++i) {
        // A character takes its wire time after the one before it has arrived; unpaced,
        // every byte counts as arrived when it was read.
        receivedNs_ = paced_ ? std::max(nowNs, receivedNs_) + target_.ByteNs() : nowNs;
        if (faults_.dropToChip.count(++toChip_) != 0)
            continue;
        if (target_.Mode() != BslTargetMode::Loader)
            target_.StartLoader(receivedNs_);
        if (!RatesMeet(hostRate, target_.BaudRate())) {
            ++lostToRate_;
            continue;
        }
        target_.Receive(data[i], receivedNs_);
    }
    Collect();
}

void BslServedLine::Restart(uint64_t nowNs) {
    pending_.clear();
    receivedNs_ = nowNs;
    target_.StartLoader(nowNs);
}

void BslServedLine::Collect() {
    for (const BslTimedByte& answer : target_.TakeOutput()) {
        if (faults_.dropToHost.count(++toHost_) == 0)
            pending_.push_back(answer);
    }
}

std::vector<uint8_t> BslServedLine::TakeDue(uint64_t nowNs, uint32_t hostRate) {
    Collect();
    std::vector<uint8_t> due;
    while (!pending_.empty() && (!paced_ || pending_.front().doneNs <= nowNs)) {
        if (RatesMeet(hostRate, pending_.front().baudRate))
            due.push_back(pending_.front().byte);
        else
            ++lostToRate_;
        pending_.pop_front();
    }
    return due;
}

uint64_t BslServedLine::NextDueNs() const {
    return pending_.empty() ? kBslNothingDue : pending_.front().doneNs;
}

} // namespace pyrola::sim
