// The loader-line options of the headless program: taken out of the arguments wherever
// they stand, refused with a reason when malformed, and adjusting only what they name in
// the line the settings give.

#include "cli/LoaderOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pyrola::cli {
namespace {

using Args = std::vector<std::string>;

TEST(LoaderOptions, AreTakenOutWhereverTheyStandAndTheRestKeepsItsOrder) {
    const LoaderOptions o =
        TakeLoaderOptions({"-bsl", "--bsl-speed", "38400", "-c2", "--swap-reset-test", "+epv", "fw.txt"});
    EXPECT_TRUE(o.error.empty());
    ASSERT_TRUE(o.speed.has_value());
    EXPECT_EQ(*o.speed, 38400u);
    EXPECT_TRUE(o.swapResetTest);
    EXPECT_FALSE(o.resetInverted || o.testInverted);
    EXPECT_EQ(o.rest, (Args{"-bsl", "-c2", "+epv", "fw.txt"}));

    const LoaderOptions eq = TakeLoaderOptions({"--bsl-speed=19200", "--reset-inverted", "--test-inverted"});
    EXPECT_EQ(eq.speed, 19200u);
    EXPECT_TRUE(eq.resetInverted && eq.testInverted);
    EXPECT_TRUE(eq.rest.empty());

    // Anything else, other "--" options included, is left for the program's own reading.
    const LoaderOptions none = TakeLoaderOptions({"--version", "--bsl-speedy", "+r"});
    EXPECT_FALSE(none.speed.has_value());
    EXPECT_EQ(none.rest, (Args{"--version", "--bsl-speedy", "+r"}));
}

TEST(LoaderOptions, AMalformedSpeedIsRefusedWithAReason) {
    for (const Args& bad :
         {Args{"--bsl-speed"}, Args{"--bsl-speed", "57600"}, Args{"--bsl-speed=96OO"}, Args{"--bsl-speed="},
          Args{"--bsl-speed", "-9600"}, Args{"--bsl-speed", "0009600"}}) {
        const LoaderOptions o = TakeLoaderOptions(bad);
        EXPECT_FALSE(o.error.empty()) << bad.back();
        EXPECT_NE(o.error.find("9600, 19200 or 38400"), std::string::npos) << o.error;
    }
}

TEST(LoaderOptions, AdjustOnlyWhatTheyName) {
    BslLineOptions line;
    line.baudRate = 19200;
    line.wiring.testInverted = true;
    AdjustBslLine(TakeLoaderOptions({"--bsl-speed", "38400", "--reset-inverted"}), line);
    EXPECT_EQ(line.baudRate, 38400u);
    EXPECT_TRUE(line.wiring.resetInverted);
    EXPECT_TRUE(line.wiring.testInverted); // not named: as the settings gave it
    EXPECT_FALSE(line.wiring.swapResetTest);
    BslLineOptions untouched;
    untouched.baudRate = 19200;
    AdjustBslLine(TakeLoaderOptions({"-bsl", "+r"}), untouched);
    EXPECT_EQ(untouched.baudRate, 19200u);
    EXPECT_FALSE(untouched.wiring.resetInverted || untouched.wiring.testInverted ||
                 untouched.wiring.swapResetTest);
}

} // namespace
} // namespace pyrola::cli
