// The system fault guard: signal handlers on POSIX, the last-chance exception filter under
// Windows and Wine.
#include "platform/FaultGuard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <stdexcept>
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
    const uint32_t before = CaughtFaultCount();
    EXPECT_EQ(guard.RunCallable(WriteNowhere), FaultKind::Access);
    EXPECT_EQ(guard.RunCallable(DivideByZero), FaultKind::Arithmetic);
    // The same fault again: the first one left the handler able to take it.
    EXPECT_EQ(guard.RunCallable(WriteNowhere), FaultKind::Access);
    EXPECT_EQ(CaughtFaultCount() - before, 3u);
    int ran = 0;
    EXPECT_EQ(guard.RunCallable([&] { ++ran; }), FaultKind::None);
    EXPECT_EQ(ran, 1);
}

TEST(SystemFaultGuard, NestedGuardsReturnToTheInnermost) {
    FaultGuard& guard = SystemFaultGuard();
    FaultKind inner = FaultKind::None;
    const FaultKind outer = guard.RunCallable([&] {
        inner = guard.RunCallable(WriteNowhere);
        DivideByZero(); // back in the outer guard
    });
    EXPECT_EQ(inner, FaultKind::Access);
    EXPECT_EQ(outer, FaultKind::Arithmetic);
}

TEST(SystemFaultGuard, ThreadsFaultingAtTheSameTimeEachGetTheirOwn) {
    FaultGuard& guard = SystemFaultGuard();
    constexpr int kRounds = 200;
    std::latch start(2);
    std::atomic<int> access{0};
    std::atomic<int> arithmetic{0};
    std::thread a([&] {
        start.arrive_and_wait();
        for (int i = 0; i < kRounds; ++i)
            access += guard.RunCallable(WriteNowhere) == FaultKind::Access;
    });
    std::thread b([&] {
        start.arrive_and_wait();
        for (int i = 0; i < kRounds; ++i)
            arithmetic += guard.RunCallable(DivideByZero) == FaultKind::Arithmetic;
    });
    a.join();
    b.join();
    EXPECT_EQ(access.load(), kRounds);
    EXPECT_EQ(arithmetic.load(), kRounds);
}

TEST(SystemFaultGuard, AnExceptionThrownThroughTheGuardLeavesNoGuardBehind) {
    FaultGuard& guard = SystemFaultGuard();
    EXPECT_THROW(guard.RunCallable([] { throw std::runtime_error("from the library"); }), std::runtime_error);
    // Still inside an outer guard: a fault now lands there, not in the dead frame.
    FaultKind inner = FaultKind::None;
    const FaultKind outer = guard.RunCallable([&] {
        try {
            inner = guard.RunCallable([] { throw std::runtime_error("again"); });
        } catch (const std::runtime_error&) {
        }
        WriteNowhere();
    });
    EXPECT_EQ(inner, FaultKind::None);
    EXPECT_EQ(outer, FaultKind::Access);
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
TEST(SystemFaultGuardDeathTest, AFaultOutsideEveryGuardStillEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            SystemFaultGuard().RunCallable([] {}); // handlers installed
            EXPECT_THROW(SystemFaultGuard().RunCallable([] { throw std::runtime_error("x"); }),
                         std::runtime_error);
            WriteNowhere();
        },
        "");
}
#endif

} // namespace
} // namespace pyrola
