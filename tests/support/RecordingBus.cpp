#include "tests/support/RecordingBus.h"

namespace pyrola::test {

void RecordingBus::Send(uint32_t code, uintptr_t value) {
    BusMessage message{false, code, value, {}};
    if ((code == kBusStatusText || code == kBusLogLine) && value != 0)
        message.text = reinterpret_cast<const char*>(value);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(message);
    }
    if (onSend)
        onSend(message);
}

void RecordingBus::Post(uint32_t code, uintptr_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back({true, code, value, {}});
}

std::vector<BusMessage> RecordingBus::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

std::vector<std::string> RecordingBus::LogLines() const {
    std::vector<std::string> out;
    for (const BusMessage& m : Messages())
        if (!m.posted && m.code == kBusLogLine)
            out.push_back(m.text);
    return out;
}

std::vector<std::string> RecordingBus::StatusTexts() const {
    std::vector<std::string> out;
    for (const BusMessage& m : Messages())
        if (!m.posted && m.code == kBusStatusText)
            out.push_back(m.text);
    return out;
}

std::vector<uintptr_t> RecordingBus::Sent(uint32_t code) const {
    std::vector<uintptr_t> out;
    for (const BusMessage& m : Messages())
        if (!m.posted && m.code == code)
            out.push_back(m.value);
    return out;
}

std::vector<uintptr_t> RecordingBus::Posted(uint32_t code) const {
    std::vector<uintptr_t> out;
    for (const BusMessage& m : Messages())
        if (m.posted && m.code == code)
            out.push_back(m.value);
    return out;
}

std::vector<uint32_t> RecordingBus::Codes() const {
    std::vector<uint32_t> out;
    for (const BusMessage& m : Messages())
        out.push_back(m.code);
    return out;
}

void RecordingBus::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

} // namespace pyrola::test
