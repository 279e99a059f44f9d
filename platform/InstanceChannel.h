#pragma once
// One running programmer per user session, and the hand-over of a second start's command
// line to it. Windows: the mutex "pyrola_OneInstance", a 260-byte shared block
// "PyrolaSharedData1" in the session's own namespace, and the registered window message
// broadcast with code 12. POSIX: a lock file and a local socket in the user's runtime
// folder.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pyrola {

// The block holds at most this many characters plus the terminator.
inline constexpr size_t kHandOverBlockSize = 260;
inline constexpr size_t kHandOverMaxText = kHandOverBlockSize - 1;

enum class HandOverResult {
    Delivered,  // the running instance has the text and was notified
    TooLong,    // more than 259 characters: refused, nothing written
    NoInstance, // nobody to hand over to
    Failed,     // the channel could not be used
};

// The message a refused hand-over shows.
const char* HandOverResultText(HandOverResult result);

class InstanceChannel {
public:
    virtual ~InstanceChannel() = default;

    // True when this process now is the one instance; false when another one runs.
    virtual bool BecomePrimary() = 0;
    // Second start: leave the text for the running instance and notify it.
    virtual HandOverResult HandOver(const std::string& commandLine) = 0;
    // Primary: call notify (on any thread) whenever a hand-over arrives; the notified
    // side then takes the text on its own thread. Windows delivers the broadcast message
    // to the window instead and never calls notify.
    virtual void Listen(std::function<void()> notify) = 0;
    // Primary: the text last handed over, once; nothing when none is waiting.
    virtual std::optional<std::string> TakeCommandLine() = 0;
};

// The channel of this platform. name distinguishes independent channels (tests use
// their own); the program uses the default.
std::unique_ptr<InstanceChannel> CreateInstanceChannel(const std::string& name = "pyrola");

} // namespace pyrola
