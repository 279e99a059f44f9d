#include "platform/FaultGuard.h"

#include <csetjmp>
#include <csignal>
#include <mutex>

namespace pyrola {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

struct GuardFrame {
    sigjmp_buf jump;
    volatile sig_atomic_t signal = 0;
};

// The guarded call running on this thread, if any.
thread_local GuardFrame* tFrame = nullptr;
// What each signal did before: a fault outside a guarded call goes back to it.
struct sigaction gPrevious[sizeof kSignals / sizeof kSignals[0]];

void OnFault(int signal, siginfo_t*, void*) {
    GuardFrame* frame = tFrame;
    if (frame == nullptr) {
        // Not inside a guarded call: the earlier handler (or the default action) takes
        // the fault when the instruction runs again.
        for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
            if (kSignals[i] == signal)
                sigaction(signal, &gPrevious[i], nullptr);
        }
        return;
    }
    frame->signal = signal;
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

class PosixFaultGuard : public FaultGuard {
public:
    FaultKind Run(void (*body)(void*), void* context) override {
        std::call_once(installed_, [] {
            struct sigaction action {};
            action.sa_sigaction = OnFault;
            action.sa_flags = SA_SIGINFO;
            sigemptyset(&action.sa_mask);
            for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
                sigaction(kSignals[i], &action, &gPrevious[i]);
        });
        GuardFrame frame;
        GuardFrame* const outer = tFrame;
        // The mask is saved, so the jump back unblocks the signal for the next fault.
        if (sigsetjmp(frame.jump, 1) != 0) {
            tFrame = outer;
            return KindOf(frame.signal);
        }
        tFrame = &frame;
        body(context);
        tFrame = outer;
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

} // namespace pyrola
