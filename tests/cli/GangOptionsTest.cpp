#include "cli/GangOptions.h"
#include "cli/StationOutcome.h"

#include <gtest/gtest.h>

namespace pyrola::cli {
namespace {

TEST(GangOptions, PortListsAreReadWholeOrRefusedWhole) {
    std::string error;
    EXPECT_EQ(ParsePortList("1-4", error), (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(ParsePortList("1,3,5-6", error), (std::vector<uint32_t>{1, 3, 5, 6}));
    EXPECT_EQ(ParsePortList("255", error), (std::vector<uint32_t>{255}));
    EXPECT_TRUE(error.empty()) << error;
    for (const char* bad : {"", "0", "4-1", "1-", "1,,2", "256", "1-3x", "-2", "1 2", "0x10"}) {
        error.clear();
        EXPECT_TRUE(ParsePortList(bad, error).empty()) << bad;
        EXPECT_NE(error.find("such as 1-8 or 1,3,5-6, not '" + std::string(bad) + "'"), std::string::npos)
            << error;
    }
    // Ports by name, in the list's order; a name and a number for one port are one port.
    error.clear();
    EXPECT_EQ(ParsePortList("COM3,lpt1,\\\\.\\COM12", error), (std::vector<uint32_t>{3, 1, 12}));
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_TRUE(ParsePortList("COM2,2", error).empty());
    EXPECT_EQ(error, "--gang names port 2 twice in 'COM2,2'");
    EXPECT_TRUE(ParsePortList("COMX", error).empty());
    EXPECT_EQ(error.rfind("--gang: No port 'COMX': name COM1 to COM255", 0), 0u) << error;
    EXPECT_TRUE(ParsePortList("1-3,2", error).empty());
    EXPECT_EQ(error, "--gang names port 2 twice in '1-3,2'");
    EXPECT_TRUE(ParsePortList("1-65", error).empty());
    EXPECT_EQ(error, "--gang takes at most 64 ports, not 65");
}

TEST(GangOptions, StationOptionsAreTakenOutAndTheRestKeptInOrder) {
    const GangOptions options = TakeGangOptions(
        {"-bsl", "--gang=1,2", "--loop", "--count", "12", "--counts-every=3", "+ebpv", "fw.txt"});
    ASSERT_TRUE(options.error.empty()) << options.error;
    EXPECT_TRUE(options.gang && options.loop && options.Any());
    EXPECT_EQ(options.ports, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(options.count, 12u);
    EXPECT_EQ(options.countsEvery, 3u);
    EXPECT_EQ(options.rest, (std::vector<std::string>{"-bsl", "+ebpv", "fw.txt"}));
    EXPECT_FALSE(TakeGangOptions({"-fet", "+ebpv", "fw.txt"}).Any());
    EXPECT_EQ(TakeGangOptions({"-fet", "+ebpv", "fw.txt"}).countsEvery, kDefaultCountsEvery);

    EXPECT_EQ(TakeGangOptions({"--gang", "-fet"}).error.find("Option '--gang' needs a list of ports"), 0u);
    EXPECT_EQ(TakeGangOptions({"--gang", "1", "--gang", "2"}).error, "--gang given twice");
    EXPECT_EQ(TakeGangOptions({"--count", "3", "-fet"}).error, "--count and --counts-every go with --loop");
    EXPECT_EQ(TakeGangOptions({"--loop", "--count", "0"}).error,
              "--count takes a number of boards from 1 to 1000000, not '0'");
    EXPECT_EQ(TakeGangOptions({"--loop", "--counts-every=x"}).error,
              "--counts-every takes a number of boards from 1 to 1000000, not 'x'");
    EXPECT_EQ(TakeGangOptions({"--probe", "--loop"}).error,
              "--probe looks at one port; it does not go with --gang or --loop");
}

TEST(GangOptions, StationTokensNameTheAdapterAndPort) {
    StationTokens station = ReadStationTokens({"-FET", "-c0x10", "+p"});
    EXPECT_EQ(station.adapter, StationAdapter::Fet);
    EXPECT_EQ(station.port, 16u);
    EXPECT_EQ(station.portToken, "-c0x10");
    EXPECT_EQ(StationLabel(station.adapter, station.port), "FET(LPT16)");
    station = ReadStationTokens({"-raw", "-bsl", "-c3"});
    EXPECT_EQ(StationLabel(station.adapter, station.port), "BSL(COM3)");
    EXPECT_EQ(StationLabel(StationAdapter::Raw, 2), "RAW(LPT2)");
    EXPECT_EQ(ReadStationTokens({"-c999"}).port, 0u);
    EXPECT_EQ(ReadStationTokens({"-c999"}).portToken, "-c999");
    EXPECT_EQ(ReadStationTokens({"-c999"}).portProblem, "-c999: ports go from 1 to 255");
    // The command line's own reader: a typo names no port and says why.
    station = ReadStationTokens({"-bsl", "-c1O"});
    EXPECT_EQ(station.port, 0u);
    EXPECT_EQ(station.portProblem,
              "-c1O: -c takes a whole port number (decimal, or hexadecimal after 0x), and '1O' "
              "is not one: no port was chosen");
    EXPECT_TRUE(ReadStationTokens({"-bsl", "-c3"}).portProblem.empty());
}

StationOutcome Board(const char* station, int status, bool exited = true) {
    StationOutcome outcome;
    outcome.station = station;
    outcome.started = true;
    outcome.exit = {exited, status};
    return outcome;
}

TEST(StationOutcome, TheClosingLinesGiveSerialTimesAndTheTable) {
    StationOutcome pass = Board("BSL(COM1)", 0);
    pass.TakeOutputLine("12:00:01->Serial number 18 reserved (19 stored as the next in \"unit.sprj\")");
    pass.TakeOutputLine("12:00:02->Serial number written: 18");
    pass.TakeOutputLine("12:00:03->Result: PASS in 2210 ms (Init 130 ms, Erase 40 ms)");
    EXPECT_EQ(pass.serial, "18");
    EXPECT_EQ(pass.totalTime, "2210 ms");
    EXPECT_EQ(pass.stepTimes, "Init 130 ms, Erase 40 ms");
    StationOutcome fail = Board("BSL(COM12)", 1);
    fail.TakeErrorLine("Init() failed. Could not open port");
    fail.TakeErrorLine("Port COM12 (/dev/ttyS11): No such file or directory");
    fail.TakeErrorLine("a later line");
    fail.TakeOutputLine("12:00:03->Result: FAIL in 5 ms");
    EXPECT_EQ(fail.totalTime, "5 ms");
    EXPECT_EQ(fail.stepTimes, "");
    const StationOutcome killed = Board("BSL(COM2)", 9, false);
    EXPECT_EQ(killed.ResultText(), "KILLED (signal 9)");
    // A board whose write failed after its number was taken shows that number.
    StationOutcome taken = Board("FET(LPT1)", 1);
    taken.TakeOutputLine(
        "12:00:01->Serial number SN-0007 reserved (SN-0008 stored as the next in \"a.sprj\")");
    taken.TakeOutputLine("12:00:02->Write serial number failed.");
    EXPECT_EQ(taken.serial, "SN-0007");
    EXPECT_EQ(Board("X", 86).ResultText(), "ENDED (status 86)");
    EXPECT_EQ(StationOutcome().ResultText(), "NOT STARTED");

    const std::vector<std::string> table = SummaryTable({pass, fail, killed});
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0], "Station     Serial  Result             Time        Steps");
    EXPECT_EQ(table[1], "BSL(COM1)   18      PASS               2210 ms     Init 130 ms, Erase 40 ms");
    // The failure with its reason; the lines after them stay in the station's output.
    EXPECT_EQ(table[2],
              "BSL(COM12)  -       FAIL               5 ms        Init() failed. Could not open port / "
              "Port COM12 (/dev/ttyS11): No such file or directory");
    EXPECT_EQ(table[3], "BSL(COM2)   -       KILLED (signal 9)  -");
}

TEST(StationOutcome, ExitStatusAndCounts) {
    EXPECT_EQ(GangExitStatus({Board("a", 0), Board("b", 0)}), 0);
    EXPECT_EQ(GangExitStatus({Board("a", 0), Board("b", 2)}), 1);
    EXPECT_EQ(GangExitStatus({Board("a", 0), Board("b", 9, false)}), 1);
    EXPECT_EQ(GangExitStatus({Board("a", 2), StationOutcome()}), 2);
    EXPECT_EQ(GangExitStatus({}), 2);
    const std::vector<StationOutcome> boards = {Board("a", 0), Board("b", 0), Board("a", 1), Board("b", 2),
                                                Board("c", 9, false)};
    // Two passed, two failed (one killed), one refused before it touched the chip (its
    // FAIL line is in the log, so it counts): 5 boards in 2 minutes.
    EXPECT_EQ(CountsText(boards, 120000),
              "Counts: 5 boards, 2 passed, 2 failed, 1 refused, yield 40.0%, 150.0 boards per hour");
    EXPECT_EQ(CountsText({}, 0), "Counts: 0 boards, 0 passed, 0 failed, yield 0.0%, 0.0 boards per hour");
}

} // namespace
} // namespace pyrola::cli
