// A headless run's exit status and its production log line, driven through the real shell
// and job worker on a scripted adapter: 0 only when every asked step completed, 1 when
// something on the chip went wrong, 2 when nothing on the chip was touched; every run that
// names a log leaves one numbered PASS or FAIL line in it.
#include "cli/HeadlessRun.h"

#include "app/ProgrammerShell.h"
#include "app/QueuedMessageBus.h"
#include "cli/CliView.h"
#include "cli/RunLog.h"
#include "platform/MemorySettingsStore.h"
#include "tests/support/ScriptedAdapter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace pyrola;
using namespace pyrola::cli;
using namespace pyrola::test;

namespace {

constexpr const char* kProgram = "@1100\n01 02 03 04 05 06 07 08\nq\n";
constexpr const char* kSerialFile = "[Options]\r\nAddress=4096\r\nType=0\r\nSerial=TEST00001M2\r\n";

// Column numbers of the log (see RunLogHeader).
enum Column {
    kStation = 1,
    kAttempt,
    kAdapter,
    kDevice,
    kImageFile,
    kImageCrc,
    kSerial,
    kSteps,
    kResult,
    kFailure
};

class HeadlessRunTest : public ::testing::Test {
protected:
    HeadlessRunTest() : out_(std::tmpfile()), err_(std::tmpfile()) {}
    ~HeadlessRunTest() override {
        std::fclose(out_);
        std::fclose(err_);
    }

    // One run of the program with these arguments, on a fresh shell and view over the same
    // store.
    int Run(CliArguments arguments) {
        CliView view(out_, err_, false);
        AdapterSet set;
        set.fet = &fet;
        set.raw = &chip;
        set.bsl = &bsl;
        QueuedMessageBus bus;
        ProgrammerShell shell(view, store_, bus, set);
        view.Attach(&shell);
        bus.SetReceiver([&shell](uint32_t code, uintptr_t value) { shell.HandleBusMessage(code, value); });
        shell.Initialize();
        shell.ApplySettings();
        const LoaderOptions loader;
        HeadlessRun run(shell, bus, view, arguments, loader);
        const int status = run.Execute();
        view.Finish();
        resultLine = ResultLine(status, shell.Engine().StepTimes(), std::chrono::steady_clock::now());
        bus.Shutdown();
        return status;
    }

    CliArguments Arguments(std::vector<std::string> tokens) {
        CliArguments arguments;
        arguments.tokens = std::move(tokens);
        arguments.logPath = folder.File("runs.csv");
        return arguments;
    }

    // The log's lines after its header row, as fields.
    std::vector<std::vector<std::string>> LogLines() const {
        std::vector<std::vector<std::string>> lines;
        const std::string text = folder.Read("runs.csv");
        size_t start = text.find('\n');
        while (start != std::string::npos && start + 1 < text.size()) {
            const size_t end = text.find('\n', start + 1);
            std::string line = text.substr(start + 1, end - start - 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(SplitCsv(line));
            start = end;
        }
        return lines;
    }

    // Everything written to the file so far.
    static std::string ReadAll(std::FILE* file) {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        char buffer[4096];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            text.append(buffer, got);
        return text;
    }

    bool Called(const std::string& op) const { return chip.CountOf(op) > 0; }

    TempDir folder;
    std::string resultLine; // the last run's closing line, as the program prints it
    // The stored settings' adapter (RAW on LPT1 by default).
    ScriptedAdapter chip{256, "RAW"};
    ScriptedAdapter fet{256, "FET"};
    ScriptedAdapter bsl{250, "BSL"};
    std::FILE* out_;
    std::FILE* err_;
    MemorySettingsStore store_;
};

TEST_F(HeadlessRunTest, CompletedStepsPassAndLogTheirRun) {
    const std::string image = folder.Write("prog.txt", kProgram);
    ASSERT_EQ(Run(Arguments({"+ebpv", image})), kExitDone);
    EXPECT_EQ(chip.memory[0x1100], 0x01);
    EXPECT_EQ(chip.memory[0x1107], 0x08);

    ASSERT_EQ(Run(Arguments({"+v", image})), kExitDone);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0][kResult], "PASS");
    EXPECT_EQ(lines[0][kStation], "RAW(LPT1)");
    EXPECT_EQ(lines[0][kAttempt], "1");
    EXPECT_EQ(lines[0][kDevice], "MSP430F149");
    EXPECT_EQ(lines[0][kImageFile], image);
    EXPECT_EQ(lines[0][kImageCrc].substr(0, 2), "0x");
    EXPECT_EQ(lines[0][kSteps], "Erase, Blank check, Program, Verify");
    EXPECT_EQ(lines[0][kFailure], "");
    // The station's runs are numbered on.
    EXPECT_EQ(lines[1][kAttempt], "2");
    EXPECT_EQ(lines[1][kSteps], "Verify");
    EXPECT_EQ(lines[1][kImageCrc], lines[0][kImageCrc]);
}

TEST_F(HeadlessRunTest, AFailedStepFailsWithItsReasonAndOnlyTheStepsThatRan) {
    const std::string image = folder.Write("prog.txt", kProgram);
    chip.SetResult("WriteMemory", -1);
    EXPECT_EQ(Run(Arguments({"+ebpv", image})), kExitFailed);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][kResult], "FAIL");
    // The failed step ran; the one after it did not.
    EXPECT_EQ(lines[0][kSteps], "Erase, Blank check, Program");
    EXPECT_NE(lines[0][kFailure].find("Program"), std::string::npos) << lines[0][kFailure];
    EXPECT_FALSE(Called("VerifyMemory"));
}

TEST_F(HeadlessRunTest, TheResultLineTimesEveryStepThatRanTheFailedOneIncluded) {
    const std::string image = folder.Write("prog.txt", kProgram);
    ASSERT_EQ(Run(Arguments({"+ebpv", image})), kExitDone);
    EXPECT_NE(resultLine.find(" ms (Init "), std::string::npos) << resultLine;
    EXPECT_NE(resultLine.find(" ms, Erase "), std::string::npos) << resultLine;
    EXPECT_NE(resultLine.find(" ms, Verify "), std::string::npos) << resultLine;
    // A failed read reports only the adapter's reason in the log; it still ran.
    chip.SetResult("ReadMemory", -1);
    CliArguments read = Arguments({"+r"});
    read.savePath = folder.File("read.txt");
    EXPECT_EQ(Run(read), kExitFailed);
    EXPECT_EQ(resultLine.rfind("Result: FAIL in ", 0), 0u) << resultLine;
    EXPECT_NE(resultLine.find(" ms, Read "), std::string::npos) << resultLine;
}

TEST_F(HeadlessRunTest, RefusalsTouchNoChipAndStillLogANumberedFailLine) {
    const std::string image = folder.Write("prog.txt", kProgram);
    // An illegal flow letter, a file without action, --save without a read.
    EXPECT_EQ(Run(Arguments({"+x", image})), kExitRejected);
    EXPECT_EQ(Run(Arguments({image})), kExitRejected);
    CliArguments save = Arguments({"+v", image});
    save.savePath = folder.File("out.txt");
    EXPECT_EQ(Run(save), kExitRejected);
    // Options alone hold for one run only: they need --store-settings.
    EXPECT_EQ(Run(Arguments({"-fet"})), kExitRejected);
    EXPECT_TRUE(chip.Calls().empty());
    EXPECT_TRUE(fet.Calls().empty());

    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i][kResult], "FAIL");
        EXPECT_EQ(lines[i][kAttempt], std::to_string(i + 1));
        EXPECT_EQ(lines[i][kSteps], "");
        EXPECT_NE(lines[i][kFailure], "");
    }
    EXPECT_NE(lines[1][kFailure].find("No action given"), std::string::npos) << lines[1][kFailure];
}

TEST_F(HeadlessRunTest, AReadNeedsAPlaceToKeepItThatCanBeWrittenBeforeTheChipIsTouched) {
    // +r without --save would read the chip and throw the image away.
    EXPECT_EQ(Run(Arguments({"+r"})), kExitRejected);
    EXPECT_FALSE(Called("Open"));
    // A save target in a missing folder is found before the chip is read.
    CliArguments nowhere = Arguments({"+r"});
    nowhere.savePath = folder.File("no-such-folder/read.txt");
    EXPECT_EQ(Run(nowhere), kExitRejected);
    EXPECT_FALSE(Called("Open"));
    const std::string err = ReadAll(err_);
    EXPECT_NE(err.find("Error. Can't write the save file \"" + *nowhere.savePath + "\": nothing was done\n" +
                       *nowhere.savePath + ": No such file or directory"),
              std::string::npos)
        << err;
    CliArguments good = Arguments({"+r"});
    good.savePath = folder.File("read.txt");
    EXPECT_EQ(Run(good), kExitDone);
    EXPECT_TRUE(Called("ReadMemory"));
}

TEST_F(HeadlessRunTest, ARunWritesNoSettingsUnlessAskedAndKeepsFullPathsInTheRecentList) {
    const std::string image = folder.Write("prog.txt", kProgram);
    const Settings defaults;
    const std::string recentKey = std::string(defaults.keyPath) + "\\Recent Document List";
    ASSERT_EQ(Run(Arguments({"+ebpv", image})), kExitDone);
    EXPECT_EQ(store_.ValueCount(recentKey), 0u);
    EXPECT_EQ(store_.ValueCount(defaults.keyPath), 0u);

    // A name as typed is kept with its folder.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    CliArguments stored = Arguments({"+ebpv", "prog.txt"});
    stored.storeSettings = true;
    const int status = Run(stored);
    std::filesystem::current_path(before);
    ASSERT_EQ(status, kExitDone);
    EXPECT_EQ(store_.ReadText(recentKey, "Document1"), std::filesystem::absolute(image).string());
    EXPECT_TRUE(store_.HasValue(defaults.keyPath, "Adapter"));
    EXPECT_NE(ReadAll(out_).find("->Settings stored in "), std::string::npos);
}

TEST_F(HeadlessRunTest, ALogThatCannotBeWrittenStopsTheRunBeforeTheChip) {
    const std::string image = folder.Write("prog.txt", kProgram);
    CliArguments arguments = Arguments({"+ebpv", image});
    arguments.logPath = folder.Path(); // a folder
    EXPECT_EQ(Run(arguments), kExitRejected);
    EXPECT_FALSE(Called("Open"));
    EXPECT_FALSE(Called("Erase"));
}

TEST_F(HeadlessRunTest, AChipTooSmallForTheImageIsRefusedBeforeTheErase) {
    const std::string image = folder.Write("prog.txt", kProgram);
    chip.openDevice = 3; // MSP430F133: main memory from 0xE000
    EXPECT_EQ(Run(Arguments({"+ebpv", image})), kExitRejected);
    EXPECT_TRUE(Called("Open"));
    EXPECT_FALSE(Called("Erase"));
    EXPECT_FALSE(Called("WriteMemory"));
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][kResult], "FAIL");
    EXPECT_EQ(lines[0][kDevice], "MSP430F133");
}

TEST_F(HeadlessRunTest, ASerialIsReservedAndLoggedBeforeItIsWrittenAndReadBack) {
    const std::string image = folder.Write("prog.txt", kProgram);
    const std::string sprj = folder.Write("unit.sprj", kSerialFile);
    // Nothing written yet: the place is erased, which is no serial number.
    CliArguments read = Arguments({});
    read.serialReadPath = sprj;
    EXPECT_EQ(Run(read), kExitFailed);

    CliArguments write = Arguments({"+ebp", image});
    write.serialPath = sprj;
    ASSERT_EQ(Run(write), kExitDone);
    EXPECT_EQ(std::string(chip.memory.begin() + 0x1000, chip.memory.begin() + 0x100B), "TEST00001M2");
    EXPECT_NE(folder.Read("unit.sprj").find("TEST00002M2"), std::string::npos);

    EXPECT_EQ(Run(read), kExitDone);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0][kResult], "FAIL");
    EXPECT_NE(lines[0][kFailure].find("erased"), std::string::npos) << lines[0][kFailure];
    EXPECT_EQ(lines[1][kResult], "RESERVED");
    EXPECT_EQ(lines[1][kSerial], "TEST00001M2");
    EXPECT_EQ(lines[2][kResult], "PASS");
    EXPECT_EQ(lines[2][kSerial], "TEST00001M2");
    EXPECT_EQ(lines[3][kResult], "PASS");
    EXPECT_EQ(lines[3][kSerial], "");
}

TEST(ResultLine, NamesTheStatusForScripts) {
    const auto now = std::chrono::steady_clock::now();
    const std::vector<StepTime> none;
    EXPECT_EQ(ResultLine(kExitDone, none, now).rfind("Result: PASS in ", 0), 0u);
    EXPECT_EQ(ResultLine(kExitFailed, none, now).rfind("Result: FAIL in ", 0), 0u);
    EXPECT_EQ(ResultLine(kExitRejected, none, now).rfind("Result: NOTHING DONE in ", 0), 0u);
    const std::vector<StepTime> times = {{kJobErase, 0}};
    EXPECT_NE(ResultLine(kExitDone, times, now).find(" ms (Erase 0 ms)"), std::string::npos);
}

} // namespace

// The bar on a terminal names its step and, once it has a pace, the time left; it stays
// within 80 columns and is wiped whole before a log line.
TEST(CliViewProgress, NamesTheStepAndTheTimeLeft) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    uint64_t now = 5000;
    {
        CliView view(out, err, true);
        view.SetClock([&now] { return now; });
        view.SetStatusText("Programming the device memory..");
        view.ProgressCreate(1000);
        view.ProgressSetPosition(100); // no pace yet: no time
        now += 2000;
        view.ProgressSetPosition(250); // 250 in 2 s: 750 more take 6 s
        view.AppendLog("12:00:00->Program complete.");
        view.ProgressDestroy();
    }
    std::string text(4096, '\0');
    std::rewind(err);
    text.resize(std::fread(text.data(), 1, text.size(), err));
    EXPECT_NE(text.find("] 10% Programming the device memory\r"), std::string::npos) << text;
    EXPECT_NE(text.find("] 25% Programming the device memory, 6 s left"), std::string::npos) << text;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\r', start), text.size());
        EXPECT_LE(end - start, 79u) << text.substr(start, end - start);
        start = end + 1;
    }
    std::fclose(out);
    std::fclose(err);
}
