#pragma once
// Requests from the worker, the dialogs and a second instance to the main window.
// Send is synchronous (the receiver copies texts before it returns); Post is
// asynchronous and carries numbers only.

#include <cstdint>
#include <string>

namespace pyrola {

enum BusCode : uint32_t {
    kBusStatusText = 0,    // value: const char* text for the status line
    kBusLogLine = 1,       // value: const char* text for the log
    kBusJobState = 2,      // value: milliseconds to wait for the worker to end
    kBusProgressRange = 3, // value: range of a new progress bar
    kBusProgressStep = 4,
    kBusProgressPos = 5, // value: position
    kBusProgressEnd = 6,
    kBusScrollTo = 7,    // value: address for the memory view
    kBusErrorColour = 8, // value: non-zero shows the status text as an error
    kBusReadSerial = 9,
    kBusWriteSerial = 10,
    kBusSerialRefresh = 11,
    kBusNewInstance = 12,
    kBusCodeCount = 13, // codes from here on are ignored
};

class MessageBus {
public:
    virtual ~MessageBus() = default;
    virtual void Send(uint32_t code, uintptr_t value) = 0;
    virtual void Post(uint32_t code, uintptr_t value) = 0;

    void SendText(uint32_t code, const std::string& text) {
        Send(code, reinterpret_cast<uintptr_t>(text.c_str()));
    }
};

} // namespace pyrola
