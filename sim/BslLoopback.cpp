#include "sim/BslLoopback.h"

#include <algorithm>

namespace pyrola::sim {

class BslLoopbackPort : public SerialPort {
public:
    explicit BslLoopbackPort(BslLoopback& wire) : wire_(wire) {}
    ~BslLoopbackPort() override {
        if (mine_)
            Close();
    }

    bool Open(const std::string& name, uint32_t baudRate, uint8_t /*parity*/, uint32_t /*queueSize*/,
              SerialLines idle) override {
        if (mine_)
            Close();
        wire_.openedNames.push_back(name);
        if (wire_.failOpen || wire_.open_) {
            // Not there, or access denied while another handle holds it.
            lastError_ = wire_.failOpen ? SerialOpenError{wire_.openError, "loopback:" + name, "no such port"}
                                        : SerialOpenError{5, "loopback:" + name, "port in use"};
            return false;
        }
        wire_.open_ = true;
        mine_ = true;
        wire_.hostBaud_ = baudRate;
        wire_.SetLines(idle.dtr, idle.rts);
        Purge(kPurgeTxAbort | kPurgeTxClear | kPurgeRxAbort | kPurgeRxClear);
        return true;
    }

    bool Close() override {
        if (!mine_)
            return true;
        // The driver drops both modem lines when the handle goes.
        wire_.SetLines(false, false);
        wire_.open_ = false;
        mine_ = false;
        return !wire_.failClose;
    }

    bool IsOpen() const override { return mine_; }
    SerialOpenError LastOpenError() const override { return lastError_; }

    bool SetBaudRate(uint32_t baudRate) override {
        if (!mine_ || baudRate == 0)
            return false;
        wire_.Collect(); // what is on the wire arrived at the old rate
        wire_.hostBaud_ = baudRate;
        return true;
    }

    bool SetDtr(bool on) override {
        if (!mine_)
            return false;
        wire_.SetLines(on, wire_.rts_);
        return true;
    }

    bool SetRts(bool on) override {
        if (!mine_)
            return false;
        wire_.SetLines(wire_.dtr_, on);
        return true;
    }

    uint32_t Write(const uint8_t* data, uint32_t count) override {
        if (!mine_ || wire_.unplugged)
            return 0;
        for (uint32_t i = 0; i < count; ++i) {
            const BslWireAction action = wire_.Apply(BslWireDirection::ToTarget, wire_.toTarget_++, data[i]);
            // The write returns once the character has left the port.
            wire_.clock_.Advance(kBslBitsPerByte * 1000000000ull / wire_.hostBaud_ + action.delayNs);
            if (!action.drop && wire_.hostBaud_ == wire_.target_.BaudRate())
                wire_.target_.Receive(static_cast<uint8_t>(data[i] ^ action.flipMask),
                                      wire_.clock_.Nanoseconds());
        }
        return count;
    }

    uint32_t Read(uint8_t* data, uint32_t count) override {
        if (!mine_)
            return 0;
        wire_.Collect();
        uint32_t n = 0;
        while (n < count && !wire_.received_.empty()) {
            data[n++] = wire_.received_.front();
            wire_.received_.pop_front();
        }
        return n;
    }

    bool Poll(SerialStatus& status) override {
        status = SerialStatus{};
        if (!mine_ || wire_.unplugged)
            return false;
        wire_.Collect();
        status.inputQueue = static_cast<uint32_t>(wire_.received_.size());
        return true;
    }

    bool Purge(uint32_t flags) override {
        if (!mine_)
            return false;
        if (flags & kPurgeRxClear) {
            wire_.Collect();
            wire_.received_.clear();
        }
        return true;
    }

private:
    BslLoopback& wire_;
    bool mine_ = false;
    SerialOpenError lastError_;
};

std::unique_ptr<SerialPort> BslLoopback::Create() {
    return std::make_unique<BslLoopbackPort>(*this);
}

void BslLoopback::SetNoise(uint32_t seed, uint32_t flipPerMillion, uint32_t dropPerMillion) {
    noise_ = flipPerMillion > 0 || dropPerMillion > 0;
    random_.seed(seed);
    flipPerMillion_ = flipPerMillion;
    dropPerMillion_ = dropPerMillion;
}

BslWireAction BslLoopback::Apply(BslWireDirection direction, uint64_t index, uint8_t byte) {
    BslWireAction action;
    if (fault_)
        action = fault_(direction, index, byte);
    if (noise_) {
        std::uniform_int_distribution<uint32_t> chance(0, 999999);
        if (chance(random_) < flipPerMillion_)
            action.flipMask ^=
                static_cast<uint8_t>(1u << std::uniform_int_distribution<uint32_t>(0, 7)(random_));
        if (chance(random_) < dropPerMillion_)
            action.drop = true;
    }
    return action;
}

void BslLoopback::Collect() {
    for (const BslTimedByte& answer : target_.TakeOutput()) {
        const BslWireAction action = Apply(BslWireDirection::ToHost, toHost_++, answer.byte);
        if (action.drop || answer.baudRate != hostBaud_)
            continue;
        // A serial line keeps order: a late byte holds back the ones behind it.
        lastArrivalNs_ = std::max(answer.doneNs + action.delayNs, lastArrivalNs_);
        inFlight_.push_back({static_cast<uint8_t>(answer.byte ^ action.flipMask), lastArrivalNs_});
    }
    const uint64_t now = clock_.Nanoseconds();
    while (!inFlight_.empty() && inFlight_.front().doneNs <= now) {
        received_.push_back(inFlight_.front().byte);
        inFlight_.pop_front();
    }
}

void BslLoopback::SetLines(bool dtr, bool rts) {
    dtr_ = dtr;
    rts_ = rts;
    lineHistory.emplace_back(dtr, rts);
    lineTimesNs.push_back(clock_.Nanoseconds());
    // The cable: which port line reaches which input, and whether it is inverted on the way.
    const bool resetInput = (cable.swapped ? rts : dtr) != cable.resetInverted;
    const bool testInput = (cable.swapped ? dtr : rts) != cable.testInverted;
    // The circuit: reset follows its input; the test line is its input inverted.
    target_.SetPins(resetInput, !testInput, clock_.Nanoseconds());
}

} // namespace pyrola::sim
