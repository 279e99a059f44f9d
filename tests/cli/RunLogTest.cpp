// The production log's CSV: quoting, the header, and appends from several writers.
#include "cli/RunLog.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <tuple>

#include <set>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <thread>
#include <vector>

using namespace pyrola::cli;
using namespace pyrola::test;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "a line without its CR LF";
    return lines;
}

} // namespace

TEST(RunLog, FieldsAreQuotedForASpreadsheet) {
    EXPECT_EQ(CsvField("plain"), "\"plain\"");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\r\nlines"), "\"two  lines\"");
    EXPECT_EQ(CsvField(""), "\"\"");

    RunRecord record;
    record.dateTime = "2024-05-31 14:02:07";
    record.station = "Line 2, \"left\"";
    record.attempt = 7;
    record.adapter = "FET(LPT1)";
    record.device = "MSP430F149";
    record.imageFile = "C:\\fw, rev \"B\".txt";
    record.imageCrc = "0x1234ABCD";
    record.serial = "TEST00001M2";
    record.steps = "Erase; Program";
    record.result = kRunFailed;
    record.failure = "Verify failed. Found 3 errors";
    record.stepTimes = "Init() 40, Erase 120";
    record.durationMs = 1234;
    EXPECT_EQ(RunLogLine(record),
              "\"2024-05-31 14:02:07\",\"Line 2, \"\"left\"\"\",7,\"FET(LPT1)\",\"MSP430F149\","
              "\"C:\\fw, rev \"\"B\"\".txt\",\"0x1234ABCD\",\"TEST00001M2\",\"Erase; Program\",\"FAIL\","
              "\"Verify failed. Found 3 errors\",\"Init() 40, Erase 120\",1234\r\n");
    record.result = kRunPassed;
    record.failure.clear();
    EXPECT_NE(RunLogLine(record).find(",\"PASS\",\"\",\"Init() 40, Erase 120\",1234\r\n"), std::string::npos);
    EXPECT_EQ(RunLogHeader(),
              "\"Date and time\",\"Station\",\"Attempt\",\"Adapter\",\"Device\",\"Image file\","
              "\"Image CRC-32\",\"Serial\",\"Steps\",\"Result\",\"Failure\",\"Step times (ms)\","
              "\"Duration (ms)\"\r\n");
}

TEST(RunLog, WritersAtOnceGetOneHeaderAndWholeLines) {
    TempDir folder;
    const std::string path = folder.File("line.csv");
    constexpr int kWriters = 4, kLines = 20;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < kLines; ++i) {
                RunRecord record;
                record.serial = "W" + std::to_string(w) + "N" + std::to_string(i);
                record.steps = std::string(300, 'x'); // long enough to tear if written in pieces
                ASSERT_EQ(AppendRunLog(path, RunLogLine(record)), "");
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    const std::vector<std::string> lines = Lines(folder.Read("line.csv"));
    ASSERT_EQ(lines.size(), size_t(kWriters * kLines + 1));
    EXPECT_EQ(lines[0] + "\r\n", RunLogHeader());
    std::set<std::string> serials;
    for (size_t i = 1; i < lines.size(); ++i) {
        RunRecord expected;
        const size_t at = lines[i].find("\"W");
        ASSERT_NE(at, std::string::npos) << lines[i];
        expected.serial = lines[i].substr(at + 1, lines[i].find('"', at + 1) - at - 1);
        expected.steps = std::string(300, 'x');
        EXPECT_EQ(lines[i] + "\r\n", RunLogLine(expected));
        serials.insert(expected.serial);
    }
    EXPECT_EQ(serials.size(), size_t(kWriters * kLines));
}

TEST(RunLog, AFileThatCannotBeWrittenIsRefusedBeforeTheRun) {
    TempDir folder;
    EXPECT_NE(AppendRunLog(folder.File("no-folder/line.csv"), ""), "");
    EXPECT_EQ(PrepareRunLog(folder.File("no-folder/line.csv"), "S"), "no file can be made there");
    std::filesystem::create_directories(folder.File("dir"));
    EXPECT_EQ(PrepareRunLog(folder.File("dir"), "S"), "not a regular file");
    EXPECT_EQ(AppendRunLog(folder.File("dir"), ""), "not a regular file");
#ifndef _WIN32
    // A FIFO is refused at once, not waited on for a reader.
    ASSERT_EQ(mkfifo(folder.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(PrepareRunLog(folder.File("fifo"), "S"), "not a regular file");
    EXPECT_EQ(AppendRunLog(folder.File("fifo"), "x\r\n"), "not a regular file");
    folder.Write("ro.csv", "");
    std::filesystem::permissions(folder.File("ro.csv"), std::filesystem::perms::owner_read);
    EXPECT_EQ(PrepareRunLog(folder.File("ro.csv"), "S"), "the file may not be written");
#endif
    uint32_t attempt = 0;
    EXPECT_EQ(PrepareRunLog(folder.File("ok.csv"), "S", &attempt), "");
    EXPECT_EQ(attempt, 1u);
    EXPECT_EQ(folder.Read("ok.csv"), RunLogHeader());
}

TEST(RunLog, TheAttemptFollowsTheStationsLastOne) {
    TempDir folder;
    const std::string path = folder.File("line.csv");
    RunRecord record;
    // A's third run crashed after taking its number: only its RESERVED line is there.
    for (const auto& [station, attempt, result] :
         {std::tuple{"A", 1u, kRunReserved}, std::tuple{"A", 1u, kRunPassed}, std::tuple{"B", 1u, kRunFailed},
          std::tuple{"A", 2u, kRunFailed}, std::tuple{"A", 3u, kRunReserved}}) {
        record.station = station;
        record.attempt = attempt;
        record.result = result;
        ASSERT_EQ(AppendRunLog(path, RunLogLine(record)), "");
    }
    uint32_t attempt = 0;
    ASSERT_EQ(PrepareRunLog(path, "A", &attempt), "");
    EXPECT_EQ(attempt, 4u); // a reservation and its result are one run; the crashed one counts
    ASSERT_EQ(PrepareRunLog(path, "B", &attempt), "");
    EXPECT_EQ(attempt, 2u);
    ASSERT_EQ(PrepareRunLog(path, "C", &attempt), "");
    EXPECT_EQ(attempt, 1u);
}
