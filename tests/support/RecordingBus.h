#pragma once
// A MessageBus for tests: records every Send and Post in order, copying the text of codes
// 0 (status) and 1 (log) as the window would. Thread-safe; an optional hook runs inside
// each Send (to act as the window would while the worker waits).

#include "jobs/MessageBus.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace pyrola::test {

struct BusMessage {
    bool posted = false;
    uint32_t code = 0;
    uintptr_t value = 0; // for codes 0 and 1 the text is in `text`
    std::string text;
};

class RecordingBus : public MessageBus {
public:
    void Send(uint32_t code, uintptr_t value) override;
    void Post(uint32_t code, uintptr_t value) override;

    std::vector<BusMessage> Messages() const;
    std::vector<std::string> LogLines() const;
    std::vector<std::string> StatusTexts() const;
    // Values of the sent (or posted) messages with this code, in order.
    std::vector<uintptr_t> Sent(uint32_t code) const;
    std::vector<uintptr_t> Posted(uint32_t code) const;
    // Codes in order, e.g. to check progress sequences; posted ones when posted is true.
    std::vector<uint32_t> Codes() const;
    void Clear();

    std::function<void(const BusMessage&)> onSend;

private:
    mutable std::mutex mutex_;
    std::vector<BusMessage> messages_;
};

} // namespace pyrola::test
