#include "adapters/bsl/SerialLink.h"

namespace pyrola {

namespace {
// Settling time after a line sequence before the loader or the program listens.
constexpr uint32_t kLineSettleMs = 250;
// Every level of the two sequences is held this long: far above the chip's 2 us minimum
// reset pulse and the 0.7 ms a 47 kOhm / 10 nF filter on RST/NMI needs, and above the few
// milliseconds a USB serial adapter may take to carry out a line change.
constexpr uint32_t kLineHoldMs = 10;
} // namespace

bool SerialLink::OpenPort() {
    gone = false;
    if (port_ && port_->IsOpen())
        port_->Close();
    if (!port_)
        port_ = ports_.Create();
    if (!port_) {
        lastSystemError = 0;
        lastOpenError = SerialOpenError{0, portName, "no serial port available"};
        return false;
    }
    // Idle: reset released and test low, on whichever port lines the cable uses for them.
    const bool resetLevel = !wiring.resetInverted;
    const bool testLevel = !wiring.testInverted;
    const SerialLines idle =
        wiring.swapResetTest ? SerialLines{testLevel, resetLevel} : SerialLines{resetLevel, testLevel};
    if (!port_->Open(portName, baudRate, parity, queueSize, idle)) {
        lastOpenError = port_->LastOpenError();
        lastSystemError = lastOpenError.code;
        return false;
    }
    return true;
}

bool SerialLink::ClosePort() {
    if (!port_ || !port_->IsOpen())
        return true;
    // Let the last bytes go out, but never wait longer than one protocol phase. The
    // poll does not sleep: the queue of a working port drains within a few byte times.
    const uint32_t start = clock_.TickCount();
    while (true) {
        port_->Poll(status);
        if (status.outputQueue == 0 || clock_.TickCount() - start >= phaseTimeout)
            break;
    }
    return port_->Close();
}

bool SerialLink::SetDtr(bool on) {
    return port_ && port_->SetDtr(on);
}

bool SerialLink::SetRts(bool on) {
    return port_ && port_->SetRts(on);
}

bool SerialLink::SetResetLine(bool on) {
    const bool level = on != wiring.resetInverted;
    return wiring.swapResetTest ? SetRts(level) : SetDtr(level);
}

bool SerialLink::SetTestLine(bool on) {
    const bool level = on != wiring.testInverted;
    return wiring.swapResetTest ? SetDtr(level) : SetRts(level);
}

bool SerialLink::SetBaudRate(uint32_t rate) {
    if (!port_ || !port_->SetBaudRate(rate))
        return false;
    baudRate = rate;
    return true;
}

uint32_t SerialLink::Write(const uint8_t* data, uint32_t count) {
    return port_ ? port_->Write(data, count) : 0;
}

uint32_t SerialLink::PollInput() {
    if (!port_) {
        status = SerialStatus{};
        return 0;
    }
    if (!port_->Poll(status) && port_->IsOpen())
        gone = true;
    return status.inputQueue;
}

uint32_t SerialLink::WaitForInput(uint32_t count, uint32_t limitMs) {
    const uint32_t start = clock_.TickCount();
    while (true) {
        const uint32_t waiting = PollInput();
        if (waiting >= count || gone)
            return waiting;
        // Checked after a poll, never straight after the sleep: a host that stalls inside
        // the sleep past the limit still sees the bytes that arrived meanwhile.
        if (clock_.TickCount() - start >= limitMs)
            return waiting;
        clock_.Sleep(1);
    }
}

uint32_t SerialLink::ReadWait(uint8_t* buffer, uint32_t count, uint32_t limitMs) {
    if (WaitForInput(count, limitMs) < count || !port_)
        return 0;
    return port_->Read(buffer, count);
}

bool SerialLink::Purge(uint32_t flags) {
    return port_ && port_->Purge(flags);
}

void SerialLink::HoldReset(bool on) {
    SetResetLine(on);
    clock_.Sleep(kLineHoldMs);
}

void SerialLink::HoldTest(bool on) {
    SetTestLine(on);
    clock_.Sleep(kLineHoldMs);
}

void SerialLink::InvokeBsl() {
    SetResetLine(true);
    SetTestLine(true);
    clock_.Sleep(kLineSettleMs);
    HoldReset(false);
    HoldTest(true);
    HoldTest(false);
    HoldTest(true);
    HoldTest(false);
    HoldReset(true);
    SetTestLine(true);
    clock_.Sleep(kLineSettleMs);
    Purge(kPurgeTxClear);
    Purge(kPurgeRxClear);
}

void SerialLink::RestartTarget() {
    SetResetLine(true);
    SetTestLine(true);
    clock_.Sleep(kLineSettleMs);
    HoldReset(false);
    SetResetLine(true);
    clock_.Sleep(kLineSettleMs);
    Purge(kPurgeTxClear);
    Purge(kPurgeRxClear);
}

} // namespace pyrola
