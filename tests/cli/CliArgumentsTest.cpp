// The program's own "--" options: read first, never passed to the command line. This
// folder also tests the platform's file lock and append (FileLockTest.cpp).
#include "cli/CliArguments.h"
#include "jobs/JobFlags.h"

#include <gtest/gtest.h>

using namespace pyrola;
using namespace pyrola::cli;
using Args = std::vector<std::string>;

TEST(CliArguments, OptionsAreTakenOutOfTheCommandLine) {
    const CliArguments parsed = ParseCliArguments({"-fet", "--serial", "unit.sprj", "--log=line.csv", "+ebpv",
                                                   "fw.txt", "--dump", "id", "--save", "id.hex"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.tokens, (Args{"-fet", "+ebpv", "fw.txt"}));
    EXPECT_EQ(parsed.serialPath, "unit.sprj");
    EXPECT_EQ(parsed.logPath, "line.csv");
    EXPECT_EQ(parsed.savePath, "id.hex");
    EXPECT_EQ(parsed.dumpFlag, kJobDumpDeviceId);
    EXPECT_EQ(parsed.ActionFlags(), kJobWriteSerial | kJobDumpDeviceId);
    EXPECT_FALSE(parsed.serialReadPath);

    const CliArguments read = ParseCliArguments({"--serial-read", "a b.sprj", "--dump=ram"});
    EXPECT_EQ(read.error, "");
    EXPECT_TRUE(read.tokens.empty());
    EXPECT_EQ(read.serialReadPath, "a b.sprj");
    EXPECT_EQ(read.ActionFlags(), kJobReadSerial | kJobDumpRam);
    EXPECT_EQ(ParseCliArguments({"--dump", "bsl"}).dumpFlag, kJobDumpLoader);

    // Written with "=", a value may start with "-" or "+".
    const CliArguments odd = ParseCliArguments(
        {"--log=-odd.csv", "--save=+r.hex", "+r", "--device", "MSP430F149", "--format=hex", "--verbose"});
    EXPECT_EQ(odd.error, "");
    EXPECT_EQ(odd.logPath, "-odd.csv");
    EXPECT_EQ(odd.savePath, "+r.hex");
    EXPECT_EQ(odd.deviceName, "MSP430F149");
    EXPECT_EQ(odd.formatName, "hex");
    EXPECT_TRUE(odd.verbose);
    EXPECT_FALSE(odd.quiet);
    EXPECT_EQ(odd.tokens, (Args{"+r"}));
    EXPECT_TRUE(ParseCliArguments({"--list-ports"}).listPorts);

    // The station may hold blanks; storing the settings is a flag of its own.
    const CliArguments line = ParseCliArguments({"--station", "Line 2, left", "--store-settings", "-bsl"});
    EXPECT_EQ(line.error, "");
    EXPECT_EQ(line.station, "Line 2, left");
    EXPECT_TRUE(line.storeSettings);
    EXPECT_EQ(line.tokens, (Args{"-bsl"}));
    EXPECT_FALSE(ParseCliArguments({"-bsl", "+e"}).storeSettings);

    // A binary file's base, in hexadecimal or decimal; overlapping records refused.
    const CliArguments based = ParseCliArguments({"--base", "0x1100", "--strict-image", "+p", "app.bin"});
    EXPECT_EQ(based.error, "");
    EXPECT_EQ(based.binaryBase, 0x1100u);
    EXPECT_TRUE(based.strictImage);
    EXPECT_EQ(based.tokens, (Args{"+p", "app.bin"}));
    EXPECT_EQ(ParseCliArguments({"--base=4352"}).binaryBase, 0x1100u);
    EXPECT_EQ(ParseCliArguments({"--base=0XFFFFF"}).binaryBase, 0xFFFFFu);
    for (const char* bad : {"0x100000", "0x", "11OO", "-1", "0x1100 "}) {
        const CliArguments refused = ParseCliArguments({std::string("--base=") + bad});
        EXPECT_EQ(refused.error, std::string("--base: '") + bad +
                                     "' is no address from 0 to 0xFFFFF (write 0x1100 or 4352)");
        EXPECT_FALSE(refused.binaryBase);
    }
    EXPECT_FALSE(ParseCliArguments({"+e"}).binaryBase);
}

TEST(CliArguments, BadOptionsAreRefusedWithTheirReason) {
    const struct {
        Args arguments;
        const char* error;
    } cases[] = {
        {{"--serial"}, "Option '--serial' needs a file name"},
        {{"--log", "--serial", "u.sprj"},
         "Option '--log' needs a file name, not '--serial' (write --log=--serial if that is meant)"},
        // A value that looks like a command-line token is a forgotten value.
        {{"--log", "-fet", "+v", "fw.txt"},
         "Option '--log' needs a file name, not '-fet' (write --log=-fet if that "
         "is meant)"},
        {{"--save", "+r"}, "Option '--save' needs a file name, not '+r' (write --save=+r if that is meant)"},
        {{"--device", "-bsl"},
         "Option '--device' needs a device name, not '-bsl' (write --device=-bsl if that "
         "is meant)"},
        {{"--dump", "-raw"},
         "Option '--dump' needs ram, id or bsl, not '-raw' (write --dump=-raw if that is meant)"},
        {{"--quiet", "--verbose"}, "--quiet and --verbose cannot be combined"},
        {{"--quiet=yes"}, "Unknown option '--quiet=yes'"},
        {{"--list-ports", "-bsl"}, "--list-ports stands alone"},
        {{"--save="}, "Option '--save' needs a file name"},
        {{"--dump"}, "Option '--dump' needs ram, id or bsl"},
        {{"--dump", "flash"}, "Unknown dump 'flash': use ram, id or bsl"},
        {{"--dump", "ram", "--dump", "id"}, "Option '--dump' given twice"},
        {{"--log", "a.csv", "--log", "b.csv"}, "Option '--log' given twice"},
        {{"--serial", "a.sprj", "--serial-read", "a.sprj"},
         "--serial and --serial-read cannot be combined: the serial write reads its number back itself"},
        {{"+r", "--save", "back.xyz"},
         "--save: no format that is written for 'back.xyz' (use .txt, .hex, .a43, .bin, .tsk or .dat)"},
        // S-record is read, never written.
        {{"+r", "--save", "back.srec"},
         "--save: no format that is written for 'back.srec' (use .txt, .hex, .a43, .bin, .tsk or .dat)"},
        {{"--serials", "u.sprj"}, "Unknown option '--serials'"},
        {{"--station"}, "Option '--station' needs a name"},
        {{"--station", "A", "--station", "B"}, "Option '--station' given twice"},
        {{"--serial", "u.sprj", "--serial-on-board", "maybe"},
         "--serial-on-board takes keep or new, not 'maybe'"},
        {{"--serial-on-board", "keep"}, "--serial-on-board goes with --serial"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(ParseCliArguments(c.arguments).error, c.error);
    }
    // The sixteen-token limit counts command-line tokens only.
    Args many(16, "-bsl");
    many.insert(many.end(), {"--log", "x.csv"});
    EXPECT_EQ(ParseCliArguments(many).error, "");
    many.push_back("-fet");
    EXPECT_EQ(ParseCliArguments(many).error, "Too many arguments: at most 16 are read");
}

TEST(CliArguments, HelpAndVersion) {
    EXPECT_TRUE(ParseCliArguments({}).help);
    EXPECT_TRUE(ParseCliArguments({"-?"}).help);
    EXPECT_TRUE(ParseCliArguments({"--help"}).help);
    EXPECT_TRUE(ParseCliArguments({"--version"}).version);
    // Beside a job they are refused: "--version +e && echo PASS" must not pass.
    const CliArguments mixed = ParseCliArguments({"--help", "+e"});
    EXPECT_FALSE(mixed.help);
    EXPECT_EQ(mixed.error, "--help and --version stand alone");
    EXPECT_EQ(ParseCliArguments({"-fet", "--version"}).error, "--help and --version stand alone");
    // Alone, "-h" is help; beside other tokens it is a command-line token like any other.
    EXPECT_FALSE(ParseCliArguments({"-h", "+e"}).help);
    EXPECT_EQ(VersionText(), "PYROLA v1.44");
}
