#pragma once
// A parallel port whose cable ends at the simulated chip's JTAG pins: the PortIo the RAW
// adapter drives in tests, the benchmark and the simulated port library. The cable:
//   data bit 0 TDI, bit 1 TMS, bit 2 TCK   reach the chip only while control bits 2 and 3
//                                          are both high (otherwise the chip's pull-ups
//                                          hold them high)
//   data bits 4-7                          together the chip's supply (on when all four are)
//   control bits 0-1                       both set: RST/NMI held low
//   status bit 5                           TDO (the other status bits read 0)
// The cable has no line for the chip's TEST pin: chips that need TEST driven for JTAG never
// see their JTAG pins enabled through it.
// Every access costs modelled time: `accessNs`, or what a PortTiming makes vary (jitter,
// cold accesses, a speed change, stalls). With a VirtualClock the wire advances it
// (so the adapter's sleeps and the port accesses share one time line); otherwise the time
// is the accesses' cost, the waits the programmer reports (Waited) and what an external
// source says (a test's clock).
// Faults: no cable (here, or the model's "nocable" fault: every read 0xFF, nothing reaches
// the chip), a port that cannot be opened, the model's pauses (the modelled time jumps
// before the access the pause names, as when a preempted program stops clocking).

#include "platform/PortIo.h"
#include "platform/VirtualClock.h"
#include "sim/JtagTarget.h"
#include "sim/PortTiming.h"

#include <cstdint>
#include <functional>
#include <string>

namespace pyrola::sim {

inline constexpr uint64_t kLptAccessNs = 1000;

class LptJtagWire : public PortIo {
public:
    LptJtagWire(JtagTarget& target, VirtualClock& clock, uint64_t accessNs = kLptAccessNs);
    LptJtagWire(JtagTarget& target, std::function<uint64_t()> elapsedNs, uint64_t accessNs = kLptAccessNs);
    LptJtagWire(JtagTarget& target, std::function<uint64_t()> elapsedNs, const PortTimingSetup& timing);

    bool Open(uint32_t portNumber) override;
    bool IsOpen() const override { return open_; }
    void WritePort(uint16_t address, uint8_t value) override;
    uint8_t ReadPort(uint16_t address) override;
    void Close() override { open_ = false; }
    std::string Describe() const override { return description_; }
    bool ModelledNanoseconds(uint64_t* ns) override {
        *ns = NowNs();
        return true;
    }
    // With a VirtualClock the programmer's sleeps already moved the time.
    void Waited(uint32_t milliseconds) override {
        if (clock_ == nullptr) {
            waitedNs_ += uint64_t{milliseconds} * 1000000u;
        }
        timing_.Cool();
    }
    // The programmer spun on its clock until then: the modelled time moves there.
    void SpinUntil(uint64_t ns) override;

    // Faults.
    bool noCable = false;
    bool failOpen = false;

    uint64_t Accesses() const { return accesses_; }
    uint64_t AccessNs() const { return timing_.Setup().accessNs; }
    PortTiming& Timing() { return timing_; }
    uint64_t NowNs() const;
    uint8_t DataRegister() const { return data_; }
    uint8_t ControlRegister() const { return control_; }
    uint16_t Base() const { return base_; }
    // True once the cable released the chip (its lines went off) since the last call.
    bool TakeReleased();
    JtagTarget& Target() { return target_; }

private:
    void Access();
    void DrivePins();
    bool Unplugged() const;

    JtagTarget& target_;
    VirtualClock* clock_ = nullptr;
    std::function<uint64_t()> elapsedNs_;
    PortTiming timing_;
    uint64_t accesses_ = 0;
    uint64_t waitedNs_ = 0; // access costs, reported waits and pauses (without a VirtualClock)
    bool open_ = false;
    uint16_t base_ = 0x378;
    uint8_t data_ = 0;
    uint8_t control_ = 0;
    bool released_ = false;
    std::string description_;
};

} // namespace pyrola::sim
