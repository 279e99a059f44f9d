#include "platform/FaultGuard.h"

#include <windows.h>

#include <atomic>
#include <mutex>

static_assert(sizeof(void*) == 8, "the fault landing rewrites the x86-64 context");

namespace pyrola {
namespace {

struct GuardFrame {
    // __builtin_setjmp needs five words; it restores frame, stack and instruction
    // pointers only, without unwinding anything.
    void* jump[5] = {};
    volatile DWORD code = 0;
};

thread_local GuardFrame* tFrame = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER gPrevious = nullptr;
std::atomic<uint32_t> gCaught{0};

bool IsHardwareFault(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
        return true;
    default:
        return false;
    }
}

FaultKind KindOf(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        return FaultKind::Access;
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
        return FaultKind::Bus;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
        return FaultKind::Instruction;
    default:
        return FaultKind::Arithmetic;
    }
}

// Where a faulting guarded thread resumes: back to its guard, on its own stack.
[[noreturn]] void LandAfterFault() {
    __builtin_longjmp(tFrame->jump, 1);
}

// Runs only once no handler of the faulting code took the exception, so a library that
// handles its own faults keeps doing so.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
    GuardFrame* frame = tFrame;
    const DWORD code = pointers->ExceptionRecord->ExceptionCode;
    if (frame == nullptr || !IsHardwareFault(code))
        return gPrevious != nullptr ? gPrevious(pointers) : EXCEPTION_CONTINUE_SEARCH;
    frame->code = code;
    gCaught.fetch_add(1);
    // Resume in LandAfterFault instead of the faulting instruction, on a stack slot well
    // below the fault's, aligned as a function entry expects (16 bytes, minus the return
    // address).
    CONTEXT* context = pointers->ContextRecord;
    context->Rsp = ((context->Rsp - 512) & ~DWORD64(15)) - 8;
    context->Rip = reinterpret_cast<DWORD64>(&LandAfterFault);
    return EXCEPTION_CONTINUE_EXECUTION;
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

class Win32FaultGuard : public FaultGuard {
public:
    FaultKind Run(void (*body)(void*), void* context) override {
        std::call_once(installed_, [] { gPrevious = SetUnhandledExceptionFilter(OnUnhandledException); });
        GuardFrame frame;
        FrameScope scope(tFrame);
        if (__builtin_setjmp(frame.jump) != 0)
            return KindOf(frame.code);
        tFrame = &frame;
        body(context);
        return FaultKind::None;
    }

private:
    std::once_flag installed_;
};

} // namespace

FaultGuard& SystemFaultGuard() {
    static Win32FaultGuard guard;
    return guard;
}

uint32_t CaughtFaultCount() {
    return gCaught.load();
}

} // namespace pyrola
