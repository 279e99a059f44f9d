// The simulated port library's exported entry points (the C interface of LibraryPortIo.h),
// each handing over, under one lock, to the process-wide simulated port.
#include "sim/SimPortSession.h"

#include <cstdint>
#include <mutex>

#if defined(_WIN32)
#define PYROLA_PORT_EXPORT extern "C" __declspec(dllexport)
#else
#define PYROLA_PORT_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

pyrola::sim::SimPortSession& Session() {
    static pyrola::sim::SimPortSession session;
    return session;
}

// The text handed out stays valid until the next call.
std::string& ErrorCopy() {
    static std::string text;
    return text;
}

} // namespace

PYROLA_PORT_EXPORT int32_t pyrola_port_open(uint32_t portNumber) {
    std::lock_guard<std::mutex> guard(Lock());
    return Session().Open(portNumber);
}

PYROLA_PORT_EXPORT void pyrola_port_write(uint32_t address, uint32_t value) {
    std::lock_guard<std::mutex> guard(Lock());
    Session().Write(address, value);
}

PYROLA_PORT_EXPORT uint32_t pyrola_port_read(uint32_t address) {
    std::lock_guard<std::mutex> guard(Lock());
    return Session().Read(address);
}

PYROLA_PORT_EXPORT int32_t pyrola_port_close() {
    std::lock_guard<std::mutex> guard(Lock());
    return Session().Close();
}

PYROLA_PORT_EXPORT uint64_t pyrola_port_time_ns() {
    std::lock_guard<std::mutex> guard(Lock());
    return Session().NowNs();
}

PYROLA_PORT_EXPORT void pyrola_port_wait(uint32_t milliseconds) {
    std::lock_guard<std::mutex> guard(Lock());
    Session().Wait(milliseconds);
}

PYROLA_PORT_EXPORT void pyrola_port_spin_until(uint64_t ns) {
    std::lock_guard<std::mutex> guard(Lock());
    Session().SpinUntil(ns);
}

PYROLA_PORT_EXPORT const char* pyrola_port_error() {
    std::lock_guard<std::mutex> guard(Lock());
    ErrorCopy() = Session().Error();
    return ErrorCopy().c_str();
}
