#pragma once
// Test doubles for the serial seam: a port that records every call in one log (together
// with the clock's waits) and delivers scripted answer bytes at given virtual times.

#include "platform/SerialPort.h"
#include "platform/VirtualClock.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pyrola::test {

// A virtual clock that also writes its waits into a log.
class RecordingClock : public VirtualClock {
public:
    explicit RecordingClock(std::vector<std::string>& log) : log_(log) {}
    void Sleep(uint32_t milliseconds) override {
        if (milliseconds != 1) // the 1 ms polling naps would drown the line sequences
            log_.push_back("wait " + std::to_string(milliseconds));
        VirtualClock::Sleep(milliseconds + stallOnce);
        stallOnce = 0;
    }
    // Added to the next sleep: a host that is descheduled for that long.
    uint32_t stallOnce = 0;

private:
    std::vector<std::string>& log_;
};

struct ScriptedLine {
    std::vector<std::string> log;
    std::vector<uint8_t> written;
    std::deque<std::pair<uint64_t, uint8_t>> incoming; // arrival time (ns), byte
    std::deque<uint8_t> queue;                         // arrived, not yet read
    // Called after each written byte; may schedule answers with Answer().
    std::function<void(uint8_t)> onWrite;
    uint32_t outputQueue = 0; // what polls report as not yet sent
    uint32_t drainPerPoll = 0;
    uint64_t pollCostNs = 0; // virtual time one status poll takes
    bool failOpen = false;
    bool failClose = false;
    bool failBaudRate = false;
    uint32_t openError = 2;
    bool open = false;
    std::string openedName;
    VirtualClock* clock = nullptr;

    void Answer(std::initializer_list<uint8_t> bytes, uint64_t afterNs = 0) {
        for (uint8_t b : bytes)
            incoming.emplace_back(clock->Nanoseconds() + afterNs, b);
    }
    void Deliver() {
        while (!incoming.empty() && incoming.front().first <= clock->Nanoseconds()) {
            queue.push_back(incoming.front().second);
            incoming.pop_front();
        }
    }
};

class ScriptedPort : public SerialPort {
public:
    explicit ScriptedPort(ScriptedLine& line) : line_(line) {}

    bool Open(const std::string& name, uint32_t baudRate, uint8_t parity, uint32_t queueSize,
              SerialLines idle) override {
        // Idle levels other than both lines on are written after the settings.
        line_.log.push_back("open " + name + " " + std::to_string(baudRate) + " " + std::to_string(parity) +
                            " " + std::to_string(queueSize) + (idle.dtr ? "" : " DTR off") +
                            (idle.rts ? "" : " RTS off"));
        line_.openedName = name;
        if (line_.failOpen)
            return false;
        line_.open = true;
        return true;
    }
    bool Close() override {
        line_.log.push_back("close");
        line_.open = false;
        return !line_.failClose;
    }
    bool IsOpen() const override { return line_.open; }
    SerialOpenError LastOpenError() const override {
        return {line_.openError, "scripted:" + line_.openedName, "scripted failure"};
    }
    bool SetBaudRate(uint32_t baudRate) override {
        line_.log.push_back("baud " + std::to_string(baudRate));
        return line_.open && !line_.failBaudRate;
    }
    bool SetDtr(bool on) override {
        line_.log.push_back(on ? "DTR on" : "DTR off");
        return true;
    }
    bool SetRts(bool on) override {
        line_.log.push_back(on ? "RTS on" : "RTS off");
        return true;
    }
    uint32_t Write(const uint8_t* data, uint32_t count) override {
        for (uint32_t i = 0; i < count; ++i) {
            line_.written.push_back(data[i]);
            if (line_.onWrite)
                line_.onWrite(data[i]);
        }
        return count;
    }
    uint32_t Read(uint8_t* data, uint32_t count) override {
        line_.Deliver();
        uint32_t n = 0;
        while (n < count && !line_.queue.empty()) {
            data[n++] = line_.queue.front();
            line_.queue.pop_front();
        }
        return n;
    }
    bool Poll(SerialStatus& status) override {
        line_.clock->Advance(line_.pollCostNs);
        line_.outputQueue -= std::min(line_.outputQueue, line_.drainPerPoll);
        line_.Deliver();
        status.inputQueue = static_cast<uint32_t>(line_.queue.size());
        status.outputQueue = line_.outputQueue;
        status.errors = 0;
        return true;
    }
    bool Purge(uint32_t flags) override {
        line_.log.push_back("purge " + std::to_string(flags));
        if (flags & kPurgeRxClear) {
            line_.Deliver();
            line_.queue.clear();
        }
        return true;
    }

private:
    ScriptedLine& line_;
};

class ScriptedPorts : public SerialPortFactory {
public:
    explicit ScriptedPorts(ScriptedLine& line) : line_(line) {}
    std::unique_ptr<SerialPort> Create() override {
        ++created;
        return std::make_unique<ScriptedPort>(line_);
    }
    int created = 0;

private:
    ScriptedLine& line_;
};

} // namespace pyrola::test
