// The system fault guard (signal handlers on POSIX, the vectored handler under Windows and
// Wine) and the guarded adapter that turns a fault inside an adapter into the exception the
// job engine's step guard logs.
#include "platform/FaultGuard.h"
#include "adapters/GuardedAdapter.h"
#include "jobs/JobEngine.h"
#include "tests/support/RecordingBus.h"
#include "tests/support/ScriptedAdapter.h"

#include <gtest/gtest.h>

#include <thread>

namespace pyrola {
namespace {

volatile int gZero = 0;
volatile int* volatile gNowhere = nullptr;

// The faults are the point: no sanitizer may report them first.
__attribute__((no_sanitize("undefined"))) void WriteNowhere() {
    *gNowhere = 1;
}
__attribute__((no_sanitize("undefined"))) void DivideByZero() {
    volatile int value = 7 / gZero;
    (void)value;
}

TEST(SystemFaultGuard, ReturnsTheFaultInsteadOfEndingTheProcess) {
    FaultGuard& guard = SystemFaultGuard();
    EXPECT_EQ(guard.RunCallable(WriteNowhere), FaultKind::Access);
    EXPECT_EQ(guard.RunCallable(DivideByZero), FaultKind::Arithmetic);
    // The same fault again: the first one left the handler able to take it.
    EXPECT_EQ(guard.RunCallable(WriteNowhere), FaultKind::Access);
    int ran = 0;
    EXPECT_EQ(guard.RunCallable([&] { ++ran; }), FaultKind::None);
    EXPECT_EQ(ran, 1);
}

TEST(SystemFaultGuard, NestedGuardsAndOtherThreads) {
    FaultGuard& guard = SystemFaultGuard();
    FaultKind inner = FaultKind::None;
    const FaultKind outer = guard.RunCallable([&] {
        inner = guard.RunCallable(WriteNowhere);
        DivideByZero(); // back in the outer guard
    });
    EXPECT_EQ(inner, FaultKind::Access);
    EXPECT_EQ(outer, FaultKind::Arithmetic);

    // Each thread has its own guarded call.
    FaultKind onWorker = FaultKind::None;
    std::thread worker([&] { onWorker = guard.RunCallable(DivideByZero); });
    worker.join();
    EXPECT_EQ(onWorker, FaultKind::Arithmetic);
    EXPECT_EQ(guard.RunCallable([] {}), FaultKind::None);
}

// Pretends the guarded call faulted once it has run, as a closed library would.
class FaultingGuard : public FaultGuard {
public:
    FaultKind Run(void (*body)(void*), void* context) override {
        body(context);
        return faultNext ? std::exchange(faultNext, false), FaultKind::Bus : FaultKind::None;
    }
    bool faultNext = false;
};

TEST(GuardedAdapter, KeepsTheFieldsInStepAndForwardsNotes) {
    test::ScriptedAdapter inner;
    UnguardedFaultGuard guard;
    GuardedAdapter adapter(inner, guard);
    DeviceRecord record{};
    adapter.portNumber = 3;
    adapter.requestedDevice = 5;
    adapter.deviceRecord = &record;
    inner.onCall = [&inner](const test::AdapterCall& call) {
        if (call.op == "Open")
            inner.AddNote("library: sim");
    };
    EXPECT_TRUE(adapter.Open());
    EXPECT_EQ(inner.portNumber, 3u);
    EXPECT_EQ(inner.requestedDevice, 5u);
    EXPECT_EQ(inner.deviceRecord, &record);
    EXPECT_EQ(adapter.isOpen, 1);
    EXPECT_EQ(adapter.TakeNotes(), (std::vector<std::string>{"library: sim"}));
    EXPECT_TRUE(inner.TakeNotes().empty());
    EXPECT_TRUE(adapter.Close());
    EXPECT_EQ(adapter.isOpen, 0);
}

TEST(GuardedAdapter, AFaultEndsTheListAsAnUnhandledExceptionAndTheProgramGoesOn) {
    test::ScriptedAdapter inner;
    FaultingGuard guard;
    GuardedAdapter adapter(inner, guard);
    test::RecordingBus bus;
    MemoryImage image;
    image.Clear();
    for (uint32_t a = 0xF000; a < 0xF010; ++a)
        image.StoreByte(a, 0x11);
    JobEngine engine(&bus, &image);
    engine.adapter = &adapter;
    auto cancel = engine.HoldCancelEvent();
    engine.jobFlags = kJobErase | kJobProgram;
    EXPECT_TRUE(engine.Dispatch()); // Init
    guard.faultNext = true;
    EXPECT_FALSE(engine.Dispatch()); // the erase faults
    const auto log = bus.LogLines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Unhandled exception detected!");
    EXPECT_EQ(log.back(), "bus error inside the FET adapter's Erase");
    EXPECT_EQ(bus.StatusTexts().back(), "Unhandled exception detected!");
    EXPECT_EQ(adapter.isOpen, 0);
    // Program did not run; the closing call still reaches the wrapped adapter.
    EXPECT_EQ(inner.CountOf("WriteMemory"), 0u);
    EXPECT_TRUE(adapter.Close());
    EXPECT_EQ(inner.CountOf("Close"), 1u);

    // A fault while closing is noted, never thrown out of Close.
    guard.faultNext = true;
    EXPECT_FALSE(adapter.Close());
    EXPECT_EQ(adapter.TakeNotes(), (std::vector<std::string>{"bus error inside the FET adapter's Close"}));
}

} // namespace
} // namespace pyrola
