#pragma once
// Test doubles for the parallel-port seam: a port that writes every access (and, through
// RecordingClock, every sleep) into one log, answering reads itself or passing every
// access on to another port (the simulated JTAG wire), and a decoder that turns the log of
// pin writes back into JTAG operations, so tests compare sequences with one EXPECT_EQ.

#include "platform/PortIo.h"
#include "platform/VirtualClock.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace pyrola::test {

struct PortAccess {
    char kind = 'w'; // 'w' write, 'r' read, 's' sleep (value in milliseconds)
    uint16_t address = 0;
    uint32_t value = 0;
};

class RecordingPortIo : public PortIo {
public:
    explicit RecordingPortIo(std::vector<PortAccess>& log, PortIo* inner = nullptr)
        : log_(log), inner_(inner) {}

    bool Open(uint32_t portNumber) override {
        opened.push_back(portNumber);
        if (inner_ != nullptr) {
            return inner_->Open(portNumber);
        }
        open_ = !failOpen;
        return open_;
    }
    bool IsOpen() const override { return inner_ != nullptr ? inner_->IsOpen() : open_; }
    void WritePort(uint16_t address, uint8_t value) override {
        log_.push_back({'w', address, value});
        if (inner_ != nullptr) {
            inner_->WritePort(address, value);
        }
    }
    uint8_t ReadPort(uint16_t address) override {
        uint8_t value = 0xFF;
        if (inner_ != nullptr) {
            value = inner_->ReadPort(address);
        } else if (open_) {
            value = status;
            if (!replies.empty()) {
                value = replies.front();
                replies.pop_front();
            }
        }
        log_.push_back({'r', address, value});
        return value;
    }
    void Close() override {
        ++closes;
        if (inner_ != nullptr) {
            inner_->Close();
        }
        open_ = false;
    }
    std::string Describe() const override {
        return inner_ != nullptr ? inner_->Describe() : "recording port";
    }
    bool ModelledNanoseconds(uint64_t* ns) override {
        return inner_ != nullptr && inner_->ModelledNanoseconds(ns);
    }
    void Waited(uint32_t milliseconds) override {
        if (inner_ != nullptr) {
            inner_->Waited(milliseconds);
        }
    }
    void SpinUntil(uint64_t ns) override {
        if (inner_ != nullptr) {
            inner_->SpinUntil(ns);
        }
    }

    bool failOpen = false;
    uint8_t status = 0x00;       // what a read gives while open (without an inner port)
    std::deque<uint8_t> replies; // given by the next reads instead of `status`
    std::vector<uint32_t> opened;
    int closes = 0;

private:
    std::vector<PortAccess>& log_;
    PortIo* inner_;
    bool open_ = false;
};

// A virtual clock whose sleeps also go into the port log.
class RecordingClock : public VirtualClock {
public:
    explicit RecordingClock(std::vector<PortAccess>& log) : log_(log) {}
    void Sleep(uint32_t milliseconds) override {
        log_.push_back({'s', 0, milliseconds});
        VirtualClock::Sleep(milliseconds);
    }

private:
    std::vector<PortAccess>& log_;
};

// The log as JTAG operations, for a port at `base`:
//   "IR 13"        an instruction shifted and updated
//   "DR 2401"      a 16-bit data shift and update ("DR 05/8" for other widths)
//   "tclk+"/"tclk-" TCLK edges (TDI while the TAP is in Run-Test/Idle)
//   "tms+"/"tms-"  TMS edges with TCK low in Run-Test/Idle or Test-Logic-Reset
//   "TLR"          the TAP entering Test-Logic-Reset
//   "ctl 0C"       a control-register write
//   "supply F0"    the supply lines (data bits 4-7) changing
//   "wait 50"      a sleep
// Decoding starts from the rest state: the TAP in Run-Test/Idle, the data register as
// `data` (by default TMS and TCK high with the supply on).
std::vector<std::string> DecodeJtag(const std::vector<PortAccess>& log, uint16_t base = 0x378,
                                    uint8_t data = 0xF6);
// Only the entries whose text starts with one of the prefixes.
std::vector<std::string> Only(const std::vector<std::string>& trace,
                              const std::vector<std::string>& prefixes);
// How often `entry` occurs.
size_t CountOf(const std::vector<std::string>& trace, const std::string& entry);

} // namespace pyrola::test
