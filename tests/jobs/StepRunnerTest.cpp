// The step runner over a table of its own: order, timing, the early step, a throwing step
// and a worker given up on.
#include "jobs/StepRunner.h"
#include "platform/VirtualClock.h"
#include "tests/jobs/JobTestFixture.h"

#include <stdexcept>

using namespace pyrola;
using namespace pyrola::test;

namespace {

std::vector<uint32_t> gRan;
VirtualClock gClock;

bool FakeAttach(StepContext& context) {
    gRan.push_back(0);
    context.target->isOpen = 1;
    gClock.AdvanceMs(3);
    return true;
}
// A step that records its bit and takes the given time.
template <uint32_t Bit, uint32_t Ms> bool Recorded(StepContext&) {
    gRan.push_back(Bit);
    gClock.AdvanceMs(Ms);
    return true;
}
bool Throws(StepContext&) {
    throw std::runtime_error("broken");
}

// Listed against bit order on purpose: the table decides, not the bits.
constexpr JobStep kTable[] = {
    {0x10, "First", Recorded<0x10, 7>},
    {0x08, "Throws", Throws},
    {0x01, "Second", Recorded<0x01, 5>},
    {0x40, "Early", Recorded<0x40, 100>, nullptr, true},
};

class StepRunnerTest : public JobTest {
protected:
    StepRunnerTest() {
        gRan.clear();
        runner.SetTimeSource([] { return gClock.Nanoseconds(); });
        event = engine.HoldCancelEvent();
    }
    std::atomic<uint32_t> flags{0};
    StepRunner runner{flags,
                      [](const std::function<void()>& take) {
                          take();
                          return true;
                      },
                      kTable, FakeAttach};
};

} // namespace

TEST_F(StepRunnerTest, RunsTheEarlyStepThenAttachesThenTheTableOrderTimingEachStep) {
    flags = 0x01 | 0x10 | 0x40;
    runner.RunList(Step());
    EXPECT_EQ(gRan, (std::vector<uint32_t>{0x40, 0, 0x10, 0x01}));
    EXPECT_EQ(flags.load(), 0u);
    std::vector<std::pair<uint32_t, uint32_t>> times;
    for (const StepTime& time : runner.StepTimes())
        times.emplace_back(time.bit, time.milliseconds);
    EXPECT_EQ(times, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 3}, {0x10, 7}, {0x01, 5}}));
    EXPECT_EQ(adapter.Ops().back(), "Close");
    EXPECT_EQ(bus.Posted(kBusJobState).back(), kWorkerEndWaitMs);
}

TEST_F(StepRunnerTest, AThrowingStepEndsTheListInTheErrorColourAndLeavesTheRest) {
    flags = 0x08 | 0x01;
    runner.RunList(Step());
    EXPECT_EQ(gRan, (std::vector<uint32_t>{0}));
    EXPECT_EQ(flags.load(), 0x01u);
    EXPECT_EQ(bus.StatusTexts().back(), "Unhandled exception detected!");
    EXPECT_EQ(bus.Sent(kBusErrorColour).back(), 1u);
    EXPECT_EQ(bus.Sent(kBusProgressEnd).size(), 1u);
    EXPECT_EQ(adapter.Ops().back(), "Close");
}

TEST_F(StepRunnerTest, AWorkerGivenUpTakesNoStep) {
    StepRunner givenUp(
        flags, [](const std::function<void()>&) { return false; }, kTable, FakeAttach);
    flags = 0x10 | 0x40;
    EXPECT_EQ(givenUp.RunNext(Step()), StepRunner::Next::Cancelled);
    EXPECT_TRUE(gRan.empty());
    EXPECT_EQ(flags.load(), 0x10u | 0x40u);
}
