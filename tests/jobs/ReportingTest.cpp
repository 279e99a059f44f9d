// The reporting forms every step shares.
#include "tests/jobs/JobTestFixture.h"

using namespace pyrola;
using namespace pyrola::test;

TEST_F(JobTest, ReportOperationsSendColourThenTextInOrder) {
    Step().ReportStatus("Status %d", 1, 5);
    Step().ReportLog("Log %s", "line");
    Step().Report("Both 0x%.4X", 0, 0x1AB);
    const auto messages = bus.Messages();
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages[0].code, kBusErrorColour);
    EXPECT_EQ(messages[0].value, 1u);
    EXPECT_EQ(messages[1].code, kBusStatusText);
    EXPECT_EQ(messages[1].text, "Status 5");
    EXPECT_EQ(messages[2].code, kBusLogLine);
    EXPECT_EQ(messages[2].text, "Log line");
    EXPECT_EQ(messages[3].code, kBusErrorColour);
    EXPECT_EQ(messages[3].value, 0u);
    EXPECT_EQ(messages[4].text, "Both 0x01AB");
    EXPECT_EQ(messages[5].code, kBusLogLine);
    EXPECT_EQ(messages[5].text, "Both 0x01AB");
    for (const BusMessage& m : messages)
        EXPECT_FALSE(m.posted);
}

TEST_F(JobTest, FailureFormAAppendsTheErrorTextWithoutSeparator) {
    adapter.errorNumber = 4;
    adapter.errorTexts[4] = "Target not responding";
    Step().StepFailed(kJobBlankCheck);
    EXPECT_EQ(bus.StatusTexts(), (std::vector<std::string>{"Blank check failed."}));
    EXPECT_EQ(bus.LogLines(), (std::vector<std::string>{"Blank check failed.Target not responding"}));
    EXPECT_EQ(bus.Sent(kBusErrorColour), (std::vector<uintptr_t>{1}));
    const auto texts = adapter.CallsOf("GetErrorText");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(int32_t(texts[0].a), 4);
}

TEST_F(JobTest, FailureFormAWithoutErrorTextLogsTheFailureAlone) {
    adapter.defaultErrorText = nullptr;
    Step().StepFailed(kJobReset);
    adapter.defaultErrorText = "";
    Step().StepFailed(kJobReset);
    EXPECT_EQ(bus.LogLines(), (std::vector<std::string>{"Reset failed.", "Reset failed."}));
}

TEST_F(JobTest, FailureFormBLogsTheErrorTextAloneOrAnEmptyLine) {
    adapter.errorTexts[9] = "Bootstrap loader did not answer";
    adapter.errorNumber = 9;
    Step().StepFailedText(kJobRead);
    adapter.errorNumber = 1;
    adapter.defaultErrorText = nullptr;
    Step().StepFailedText(kJobDumpRam);
    EXPECT_EQ(bus.StatusTexts(), (std::vector<std::string>{"Read failed.", "Dump failed."}));
    EXPECT_EQ(bus.LogLines(), (std::vector<std::string>{"Bootstrap loader did not answer", ""}));
}

TEST_F(JobTest, ErrorNumberIsFetchedOnceBecauseReadingClearsIt) {
    adapter.clearErrorOnRead = true;
    adapter.errorNumber = 3;
    adapter.errorTexts[3] = "Three";
    adapter.errorTexts[0] = "Zero";
    Step().StepFailed(kJobErase);
    EXPECT_EQ(adapter.CountOf("GetErrorNumber"), 1u);
    EXPECT_EQ(bus.LogLines().back(), "Erase failed.Three");
}
