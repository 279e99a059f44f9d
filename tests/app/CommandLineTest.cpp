#include "jobs/CommandLine.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace pyrola {
namespace {

struct Parsed {
    CommandLineRequest request;
    std::vector<std::pair<std::string, bool>> messages;
    std::vector<std::string> probed;
};

// A command-line text read as the shell reads the window's (ProcessCommandLine).
Parsed Parse(const std::string& text, std::set<std::string> existing = {}) {
    Parsed parsed;
    parsed.request = ParseCommandTokens(
        TokenizeCommandLine(text),
        [&](const std::string& path) {
            parsed.probed.push_back(path);
            return existing.count(path) != 0;
        },
        [&](const std::string& message, bool isError) { parsed.messages.emplace_back(message, isError); });
    return parsed;
}

TEST(CommandLineTokens, BlanksQuotesAndTheSixteenTokenLimit) {
    EXPECT_TRUE(TokenizeCommandLine("").empty());
    EXPECT_TRUE(TokenizeCommandLine("    ").empty());
    EXPECT_EQ(TokenizeCommandLine("  -bsl   +e\tx  "), (std::vector<std::string>{"-bsl", "+e\tx"}));
    EXPECT_EQ(TokenizeCommandLine("+p \"C:\\My Files\\a b.txt\" -raw"),
              (std::vector<std::string>{"+p", "C:\\My Files\\a b.txt", "-raw"}));
    // An unterminated quote runs to the end; a quote inside a token is kept.
    EXPECT_EQ(TokenizeCommandLine("a\"b \"c d"), (std::vector<std::string>{"a\"b", "c d"}));
    EXPECT_EQ(TokenizeCommandLine("\"\" x"), (std::vector<std::string>{"", "x"}));

    std::string many;
    for (int i = 1; i <= 20; ++i)
        many += "t" + std::to_string(i) + " ";
    std::vector<std::string> tokens = TokenizeCommandLine(many);
    ASSERT_EQ(tokens.size(), 16u);
    EXPECT_EQ(tokens.back(), "t16");
}

TEST(CommandLineParse, EmptyTextSaysNothing) {
    Parsed p = Parse("   ");
    EXPECT_FALSE(p.request.anyToken);
    EXPECT_TRUE(p.messages.empty());
}

TEST(CommandLineParse, FlowLettersAccumulateAndAnIllegalOneStopsEverything) {
    Parsed p = Parse("+vp +e +b +r");
    EXPECT_EQ(p.request.flowFlags, 0x1Fu);
    EXPECT_FALSE(p.request.errorFlag);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].first, "Process command line..");

    Parsed bad = Parse("-bsl +ex file.txt -c3", {"file.txt"});
    EXPECT_TRUE(bad.request.aborted);
    EXPECT_TRUE(bad.request.errorFlag);
    ASSERT_EQ(bad.messages.size(), 2u);
    EXPECT_EQ(bad.messages[1], std::make_pair(std::string("Illegal flow specifier - 'x'"), true));
    EXPECT_TRUE(bad.probed.empty()); // the file token after it is never looked at
    EXPECT_FALSE(bad.request.port.has_value());

    EXPECT_TRUE(Parse("+E").request.aborted); // lower case only
}

TEST(CommandLineParse, PortNumbersDecimalAndHexadecimal) {
    EXPECT_EQ(Parse("-c0x10").request.port, 15u);
    EXPECT_EQ(Parse("-C3").request.port, 2u);
    EXPECT_EQ(Parse("-c0X1f").request.port, 30u);
    EXPECT_EQ(Parse("-c08").request.port, 7u); // a leading zero is not octal

    // "-c" alone is refused with the way to write it; a number after a blank is named.
    Parsed alone = Parse("-c");
    EXPECT_FALSE(alone.request.port.has_value());
    ASSERT_EQ(alone.messages.size(), 3u);
    EXPECT_EQ(alone.messages[1].first, "Illegal options argument - 'c'");
    EXPECT_EQ(alone.messages[2].first, "-c takes the port number joined to it, as in -c1");
    Parsed spaced = Parse("-bsl -c 1 +e");
    EXPECT_TRUE(spaced.request.aborted);
    EXPECT_EQ(spaced.request.flowFlags, 0u);
    ASSERT_EQ(spaced.messages.size(), 3u);
    EXPECT_EQ(spaced.messages[2],
              std::make_pair(std::string("-c takes the port number joined to it: write -c1, "
                                         "not -c 1"),
                             true));

    // Port 0 would wrap the stored index round; it is refused like any bad option.
    Parsed zero = Parse("-c0");
    EXPECT_FALSE(zero.request.port.has_value());
    EXPECT_TRUE(zero.request.errorFlag);
    EXPECT_EQ(zero.messages[1].first, "Illegal options argument - 'c0'");
    EXPECT_EQ(zero.messages[2].first, "Port numbers start at 1 (COM1, LPT1)");
    EXPECT_EQ(Parse("-c99999999999").messages[2].first, "The port number is too large");
    EXPECT_EQ(Parse("-c0x").messages[2].first, "-c0x takes hexadecimal digits after it, as in -c0x10");
}

TEST(CommandLineParse, APortTokenWithATypoChoosesNoPortAndEndsTheReading) {
    // A typo must never choose another port: "1O" is not COM10 and "3,4" not COM3.
    for (const char* typo : {"-c1x", "-c1O", "-c3,4", "-c12abc", "-cx", "-c0x1g", "-com3"}) {
        Parsed bad = Parse(std::string("-bsl ") + typo + " +ebpv fw.txt", {"fw.txt"});
        EXPECT_FALSE(bad.request.port.has_value()) << typo;
        EXPECT_TRUE(bad.request.aborted) << typo;
        EXPECT_EQ(bad.request.flowFlags, 0u) << typo;
        EXPECT_FALSE(bad.request.fileToken.has_value()) << typo;
        ASSERT_EQ(bad.messages.size(), 3u) << typo;
        EXPECT_EQ(bad.messages[1].first, "Illegal options argument - '" + std::string(typo + 1) + "'");
        EXPECT_EQ(bad.messages[2].first,
                  "-c takes a whole port number (decimal, or hexadecimal after 0x), and '" +
                      std::string(typo + 2) + "' is not one: no port was chosen");
    }
    // The one reader the station options use too.
    EXPECT_EQ(ReadPortOption("c0x10").number, 16u);
    EXPECT_FALSE(ReadPortOption("c1x").number.has_value());
    EXPECT_TRUE(IsPortOption("C1") && !IsPortOption("pi"));
}

TEST(CommandLineParse, OptionsAdaptersAndTheInfoProtectionInterplay) {
    EXPECT_EQ(Parse("-FET").request.adapter, 0u);
    EXPECT_EQ(Parse("-Raw").request.adapter, 1u);
    EXPECT_EQ(Parse("-bsl").request.adapter, 2u);
    EXPECT_EQ(Parse("-pi").request.eraseInfo, 0);
    EXPECT_EQ(Parse("-fet -pi").request.eraseInfo, 0);
    // Once read, "-pi" holds whatever options follow it.
    EXPECT_EQ(Parse("-pi -fet").request.eraseInfo, 0);
    EXPECT_EQ(Parse("-pi -c2").request.eraseInfo, 0);
    EXPECT_TRUE(Parse("-raw -c1 -pi").request.protectInfo);
    EXPECT_FALSE(Parse("-raw -c1").request.protectInfo);
    EXPECT_FALSE(Parse("+e").request.eraseInfo.has_value());

    Parsed bad = Parse("-usb +e");
    EXPECT_TRUE(bad.request.errorFlag);
    EXPECT_FALSE(bad.request.aborted); // an illegal option is skipped
    EXPECT_EQ(bad.request.flowFlags, 0x02u);
    EXPECT_EQ(bad.messages[1].first, "Illegal options argument - 'usb'");
    EXPECT_EQ(bad.request.eraseInfo, 1);
}

TEST(CommandLineParse, FileTokensMustExistAndTheLastOneWins) {
    Parsed p = Parse("a.txt missing.txt b.hex", {"a.txt", "b.hex"});
    EXPECT_EQ(p.request.fileToken, "b.hex");
    EXPECT_TRUE(p.request.errorFlag);
    ASSERT_EQ(p.messages.size(), 3u);
    EXPECT_EQ(p.messages[1], std::make_pair(std::string("Invalid file specifier - 'missing.txt'"), true));
    // The line after it names the path looked for, made absolute, and the system's reason.
    EXPECT_TRUE(p.messages[2].second);
    const std::string& reason = p.messages[2].first;
    EXPECT_NE(reason.find("missing.txt: "), std::string::npos) << reason;
    EXPECT_FALSE(reason.rfind("missing.txt", 0) == 0) << reason; // not the bare token
    EXPECT_NE(reason.find("No such file or directory"), std::string::npos) << reason;

    Parsed quoted = Parse("+p \"C:\\a b\\c.txt\"", {"C:\\a b\\c.txt"});
    EXPECT_EQ(quoted.request.fileToken, "C:\\a b\\c.txt");

    // The seventeenth token is never read.
    std::string text;
    for (int i = 0; i < 16; ++i)
        text += "-pi ";
    Parsed limited = Parse(text + "+e");
    EXPECT_EQ(limited.request.flowFlags, 0u);
}

TEST(CommandLineText, QuotedArgumentsWithBlanksRoundTrip) {
    // Arguments joined with an argument holding a blank wrapped in double quotes, as a
    // Windows command line holds them.
    std::vector<std::string> args = {"-bsl", "+ep", "/tmp/my file.txt"};
    std::string joined;
    for (const std::string& argument : args)
        joined += (joined.empty() ? "" : " ") +
                  (argument.find(' ') != std::string::npos ? '"' + argument + '"' : argument);
    EXPECT_EQ(joined, "-bsl +ep \"/tmp/my file.txt\"");
    EXPECT_EQ(TokenizeCommandLine(joined), args);
}

TEST(CommandLineText, UsageLines) {
    std::string usage = kCommandLineUsage;
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = usage.find("\r\n", start);
        lines.push_back(usage.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[1], "    PYROLA [-pi] [-fet | -raw | -bsl] [-c{port}] [+ebpvr] {file}");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[12], "    r         Read device memory");
    EXPECT_EQ(lines[13], "Only the specified actions are executed!");
    EXPECT_EQ(usage.find('\n', usage.size() - 3), std::string::npos); // no line end after the last line
}

} // namespace
} // namespace pyrola
