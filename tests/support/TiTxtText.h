#pragma once
// A TI TXT file's text for address -> byte pairs, written here independently of the
// program's own writer, for end-to-end tests that hand files to the programs.

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

namespace pyrola::test {

inline std::string TiTxtText(const std::map<uint32_t, uint8_t>& bytes) {
    std::string text;
    uint32_t next = 0xFFFFFFFF;
    int column = 0;
    char buffer[16];
    for (const auto& [address, value] : bytes) {
        if (address != next) {
            std::snprintf(buffer, sizeof buffer, "%s@%04X\r\n", column ? "\r\n" : "", address);
            text += buffer;
            column = 0;
        }
        std::snprintf(buffer, sizeof buffer, column ? " %02X" : "%02X", value);
        text += buffer;
        if (++column == 16) {
            text += "\r\n";
            column = 0;
        }
        next = address + 1;
    }
    text += column ? "\r\nq\r\n" : "q\r\n";
    return text;
}

} // namespace pyrola::test
