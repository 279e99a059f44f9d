#include "tests/jobs/JobTestFixture.h"

using namespace pyrola;
using namespace pyrola::test;

using Ops = std::vector<std::string>;

TEST_F(JobTest, ProgramAndVerifyOnAClosedAdapterAttachFirstAndCloseLast) {
    Fill(0xE000, 16, 0x10);
    RunList(kJobProgram | kJobVerify);
    EXPECT_EQ(WorkOps(), (Ops{"Open", "WriteMemory", "ReadMemory", "Close"}));
    EXPECT_EQ(engine.jobFlags.load(), 0u);
    EXPECT_EQ(bus.Posted(kBusJobState), (std::vector<uintptr_t>{0, 1000}));
}
