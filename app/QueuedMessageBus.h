#pragma once
// A message bus whose receiver runs on one thread (the front end's main loop). Send from
// another thread queues the request and waits until the main loop has handled it, so a
// text may live on the sender's stack; Send on the main thread is handled at once. Post
// only queues.

#include "jobs/MessageBus.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace pyrola {

class QueuedMessageBus : public MessageBus {
public:
    using Receiver = std::function<void(uint32_t code, uintptr_t value)>;

    // The constructing thread is the main thread.
    QueuedMessageBus();
    ~QueuedMessageBus() override;

    void SetReceiver(Receiver receiver) { receiver_ = std::move(receiver); }

    void Send(uint32_t code, uintptr_t value) override;
    void Post(uint32_t code, uintptr_t value) override;

    // Main thread: waits up to waitMs for a request, then handles every queued one.
    // Returns how many were handled.
    size_t Pump(uint32_t waitMs);
    // From now on requests are dropped and blocked senders released: the receiver is gone.
    void Shutdown();

private:
    struct Request {
        uint32_t code = 0;
        uintptr_t value = 0;
        bool hasText = false;
        std::string text;
        bool waited = false;
        bool done = false;
    };

    void Handle(Request& request);

    Receiver receiver_;
    std::thread::id mainThread_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::condition_variable handled_;
    std::deque<std::shared_ptr<Request>> queue_;
    bool shutdown_ = false;
};

} // namespace pyrola
