#include "app/QueuedMessageBus.h"

#include <chrono>

namespace pyrola {

namespace {
bool CarriesText(uint32_t code) {
    return code == kBusStatusText || code == kBusLogLine;
}
} // namespace

QueuedMessageBus::QueuedMessageBus() : mainThread_(std::this_thread::get_id()) {}

QueuedMessageBus::~QueuedMessageBus() {
    Shutdown();
}

void QueuedMessageBus::Handle(Request& request) {
    if (!receiver_)
        return;
    receiver_(request.code,
              request.hasText ? reinterpret_cast<uintptr_t>(request.text.c_str()) : request.value);
}

void QueuedMessageBus::Send(uint32_t code, uintptr_t value) {
    if (std::this_thread::get_id() == mainThread_) {
        Request request{code, value, false, {}, false, false};
        Handle(request);
        return;
    }
    auto request = std::make_shared<Request>();
    request->code = code;
    request->value = value;
    if (CarriesText(code) && value) {
        request->hasText = true;
        request->text = reinterpret_cast<const char*>(value);
    }
    request->waited = true;
    std::unique_lock lock(mutex_);
    if (shutdown_)
        return;
    queue_.push_back(request);
    arrived_.notify_all();
    handled_.wait(lock, [&] { return request->done || shutdown_; });
}

void QueuedMessageBus::Post(uint32_t code, uintptr_t value) {
    auto request = std::make_shared<Request>();
    request->code = code;
    request->value = value;
    std::lock_guard lock(mutex_);
    if (shutdown_)
        return;
    queue_.push_back(request);
    arrived_.notify_all();
}

size_t QueuedMessageBus::Pump(uint32_t waitMs) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return !queue_.empty() || shutdown_; });
    size_t count = 0;
    while (!queue_.empty() && !shutdown_) {
        std::shared_ptr<Request> request = queue_.front();
        queue_.pop_front();
        lock.unlock();
        Handle(*request);
        lock.lock();
        request->done = true;
        if (request->waited)
            handled_.notify_all();
        ++count;
    }
    return count;
}

void QueuedMessageBus::Shutdown() {
    std::lock_guard lock(mutex_);
    shutdown_ = true;
    queue_.clear();
    arrived_.notify_all();
    handled_.notify_all();
}

} // namespace pyrola
