#include "platform/FaultGuard.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <mutex>

namespace pyrola {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];

struct GuardFrame {
    sigjmp_buf jump;
    volatile sig_atomic_t signal = 0;
};

// The guarded call running on this thread, if any.
thread_local GuardFrame* tFrame = nullptr;
// What each signal did before: a fault outside a guarded call goes back to it.
struct sigaction gPrevious[kSignalCount];
std::atomic<uint32_t> gCaught{0};

void OnFault(int signal, siginfo_t*, void*) {
    GuardFrame* frame = tFrame;
    if (frame == nullptr) {
        // Not inside a guarded call: the earlier handler (or the default action) takes
        // the fault when the instruction runs again.
        for (size_t i = 0; i < kSignalCount; ++i) {
            if (kSignals[i] == signal)
                sigaction(signal, &gPrevious[i], nullptr);
        }
        return;
    }
    frame->signal = signal;
    gCaught.fetch_add(1);
    siglongjmp(frame->jump, 1);
}

FaultKind KindOf(int signal) {
    switch (signal) {
    case SIGSEGV:
        return FaultKind::Access;
    case SIGBUS:
        return FaultKind::Bus;
    case SIGFPE:
        return FaultKind::Arithmetic;
    default:
        return FaultKind::Instruction;
    }
}

// Puts the thread's outer guarded call back however the inner one ends, an exception
// thrown through it included: a dead frame must never receive a later fault.
class FrameScope {
public:
    explicit FrameScope(GuardFrame* outer) : outer_(outer) {}
    ~FrameScope() { tFrame = outer_; }

private:
    GuardFrame* outer_;
};

class PosixFaultGuard : public FaultGuard {
public:
    FaultKind Run(void (*body)(void*), void* context) override {
        std::call_once(installed_, [] {
            struct sigaction action {};
            action.sa_sigaction = OnFault;
            action.sa_flags = SA_SIGINFO;
            sigemptyset(&action.sa_mask);
            for (size_t i = 0; i < kSignalCount; ++i)
                sigaction(kSignals[i], &action, &gPrevious[i]);
        });
        GuardFrame frame;
        FrameScope scope(tFrame);
        // The mask is saved, so the jump back unblocks the signal for the next fault.
        if (sigsetjmp(frame.jump, 1) != 0)
            return KindOf(frame.signal);
        tFrame = &frame;
        body(context);
        return FaultKind::None;
    }

private:
    std::once_flag installed_;
};

} // namespace

FaultGuard& SystemFaultGuard() {
    static PosixFaultGuard guard;
    return guard;
}

uint32_t CaughtFaultCount() {
    return gCaught.load();
}

} // namespace pyrola
