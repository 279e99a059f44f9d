// The headless program's strict reading of a ".sprj" file's values (the file handling
// around it is tested with the program's parts in tests/cli).
#include "serialno/SerialConfigCheck.h"

#include <gtest/gtest.h>

#include <map>

using namespace pyrola;

namespace {

SerialConfigCheck Check(std::map<std::string, std::string> values) {
    return CheckSerialConfig([values](const char* key) -> std::optional<std::string> {
        const auto it = values.find(key);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    });
}

} // namespace

TEST(SerialConfigCheck, MissingAddressAndTypeTakeTheirDefaults) {
    const SerialConfigCheck check = Check({{"Serial", "SN-0042"}});
    ASSERT_TRUE(check.config) << check.problem;
    EXPECT_EQ(check.config->address, 0x1000u);
    EXPECT_EQ(check.config->type, 0u);
    EXPECT_EQ(check.config->serial, "SN-0042");
    const SerialConfigCheck hex = Check({{"Address", "0xE000"}, {"Type", "3"}, {"Serial", "0x1F"}});
    ASSERT_TRUE(hex.config) << hex.problem;
    EXPECT_EQ(hex.config->address, 0xE000u);
    EXPECT_EQ(hex.config->serial, "31"); // the rendered form is what the next board gets
}

TEST(SerialConfigCheck, WhatTheDialogWouldReadDifferentlyIsRefused) {
    // The dialog takes 10 from "10x" and the default for "x10"; a line must not guess.
    EXPECT_EQ(Check({{"Address", "10x"}, {"Serial", "A1"}}).problem, "Invalid Address '10x'");
    EXPECT_EQ(Check({{"Address", "0x"}, {"Serial", "A1"}}).problem, "Invalid Address '0x'");
    EXPECT_EQ(Check({{"Address", "4294967296"}, {"Serial", "A1"}}).problem, "Invalid Address '4294967296'");
    EXPECT_EQ(Check({{"Type", ""}, {"Serial", "A1"}}).problem,
              "Invalid Type '' (0 char *, 1 char[], 2 BYTE, 3 WORD, 4 DWORD)");
    EXPECT_EQ(Check({{"Serial", ""}}).problem, "No Serial");
    EXPECT_EQ(Check({{"Serial", std::string(256, '1')}}).problem, "Serial longer than 255 characters");
    // A suffix beyond 127 characters would be cut on the device.
    const std::string cut = "A1" + std::string(130, 'z');
    EXPECT_EQ(Check({{"Serial", cut}}).problem,
              "Serial '" + cut + "' would be written as 'A1" + std::string(127, 'z') + "'");
    // The last number that can be handed out, and the one after it.
    EXPECT_TRUE(Check({{"Serial", "N2147483646"}}).config);
    EXPECT_FALSE(Check({{"Serial", "N2147483647"}}).config);
    EXPECT_TRUE(Check({{"Type", "3"}, {"Serial", "65534"}}).config);
    // All ones is what an erased chip reads: no board may get it.
    EXPECT_EQ(Check({{"Type", "3"}, {"Serial", "65535"}}).problem,
              "Serial '65535' reads the same as an erased chip (all bytes 0xFF)");
    EXPECT_EQ(Check({{"Type", "2"}, {"Serial", "255"}}).problem,
              "Serial '255' reads the same as an erased chip (all bytes 0xFF)");
    // A number with a typo in it is refused, not read up to the typo.
    for (const char* typo : {"12a", "1O0", "1e3", " 12", "+12", "-0"})
        EXPECT_EQ(Check({{"Type", "3"}, {"Serial", typo}}).problem,
                  std::string("Serial '") + typo + "' is not a whole number")
            << typo;
    EXPECT_TRUE(Check({{"Type", "3"}, {"Serial", "0x1F"}}).config);
    EXPECT_EQ(Check({{"Type", "3"}, {"Serial", "65536"}}).problem,
              "Serial '65536' does not fit the type WORD");
}
