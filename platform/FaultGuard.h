#pragma once
// Runs code that may raise a hardware fault (an access fault, a bus error, an arithmetic
// fault: a vendor library is closed code) so that the fault comes back to the caller as a
// result instead of ending the process. Only the thread that raised the fault inside a
// guarded call is affected; a fault anywhere else ends the process as before.
//
// The frames between the guard and the fault are left without running their destructors,
// so a guard sits right around each call into the foreign code, and the caller treats the
// foreign code as unusable after a fault.

#include <cstdint>
#include <utility>

namespace pyrola {

enum class FaultKind : uint8_t { None, Access, Bus, Arithmetic, Instruction };

// "access fault", "bus error", "arithmetic fault", "illegal instruction"; "" for None.
constexpr const char* FaultKindText(FaultKind kind) {
    switch (kind) {
    case FaultKind::Access:
        return "access fault";
    case FaultKind::Bus:
        return "bus error";
    case FaultKind::Arithmetic:
        return "arithmetic fault";
    case FaultKind::Instruction:
        return "illegal instruction";
    case FaultKind::None:
        break;
    }
    return "";
}

class FaultGuard {
public:
    virtual ~FaultGuard() = default;
    // Calls body(context); None when it returned, otherwise the kind of fault it raised.
    virtual FaultKind Run(void (*body)(void*), void* context) = 0;

    template <typename F> FaultKind RunCallable(F&& callable) {
        auto call = [&callable] { callable(); };
        using Call = decltype(call);
        return Run([](void* c) { (*static_cast<Call*>(c))(); }, &call);
    }
};

// Calls the body directly: for tests and for code that calls nothing foreign.
class UnguardedFaultGuard : public FaultGuard {
public:
    FaultKind Run(void (*body)(void*), void* context) override {
        body(context);
        return FaultKind::None;
    }
};

// One shared unguarded instance, for code that has no system guard to hand.
inline FaultGuard& NoFaultGuard() {
    static UnguardedFaultGuard guard;
    return guard;
}

// Signal handlers (SIGSEGV, SIGBUS, SIGFPE, SIGILL) on POSIX, the last-chance (unhandled)
// exception filter on Windows, so that a library's own exception handlers still come
// first; installed at the first call.
FaultGuard& SystemFaultGuard();

// Faults the system guard has caught so far in this process. After one, code that jumped
// out of the library may have left a lock of its own (even the allocator's) taken: a
// front end uses this to bound how long it waits for the job to end.
uint32_t CaughtFaultCount();

} // namespace pyrola
