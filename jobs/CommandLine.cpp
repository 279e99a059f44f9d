#include "jobs/CommandLine.h"

#include "base/TextCompare.h"
#include "base/TextFormat.h"

#include <algorithm>
#include <cctype>

namespace pyrola {

const char* const kCommandLineUsage = "Command line usage:\r\n"
                                      "    PYROLA [-pi] [-fet | -raw | -bsl] [-c{port}] [+ebpvr] {file}\r\n"
                                      "Example:\r\n"
                                      "    pyrola.exe -pi -raw -c1 +ebpv myfile.txt\r\n"
                                      "\r\n"
                                      "Options:\r\n"
                                      "    -pi      Protect device info memory\r\n"
                                      "Program Flow Specifiers [+ebpvr]\r\n"
                                      "    e        Mass Erase\r\n"
                                      "    b        Blank Check\r\n"
                                      "    p        Program file {file}\r\n"
                                      "    v        Verify by file {file}\r\n"
                                      "    r         Read device memory\r\n"
                                      "Only the specified actions are executed!";

namespace {

uint32_t FlowFlag(char letter) {
    switch (letter) {
    case 'e':
        return 0x02;
    case 'b':
        return 0x08;
    case 'p':
        return 0x01;
    case 'v':
        return 0x10;
    case 'r':
        return 0x04;
    default:
        return 0;
    }
}

// Digits after "-c": "0x"/"0X" selects hexadecimal; reading stops at the first character
// that is not a digit of the base. Nothing when no digit was accepted or the number does
// not fit 32 bits.
std::optional<uint64_t> ParsePortNumber(std::string_view text) {
    unsigned base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t value = 0;
    size_t digits = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            break;
        value = value * base + digit;
        if (value > 0xFFFFFFFFu)
            return uint64_t(0x100000000u); // too large: reported by the caller
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return value;
}

} // namespace

std::vector<std::string> TokenizeCommandLine(std::string_view text) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < text.size() && tokens.size() < kCommandLineMaxTokens) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        char terminator = ' ';
        if (text[i] == '"') {
            terminator = '"';
            ++i;
        }
        size_t end = text.find(terminator, i);
        if (end == std::string_view::npos)
            end = text.size();
        tokens.emplace_back(text.substr(i, end - i));
        i = end + 1;
    }
    return tokens;
}

CommandLineRequest ParseCommandTokens(const std::vector<std::string>& allTokens,
                                      const PathExistsFn& pathExists, const CommandLineReportFn& report) {
    CommandLineRequest request;
    const std::vector<std::string> tokens(
        allTokens.begin(),
        allTokens.begin() + static_cast<long>(std::min(allTokens.size(), kCommandLineMaxTokens)));
    if (tokens.empty())
        return request;
    request.anyToken = true;
    report("Process command line..", false);

    auto fail = [&](const std::string& message) {
        request.errorFlag = true;
        report(message, true);
    };

    for (const std::string& token : tokens) {
        if (!token.empty() && token[0] == '+') {
            for (size_t i = 1; i < token.size(); ++i) {
                uint32_t flag = FlowFlag(token[i]);
                if (!flag) {
                    fail(Format("Illegal flow specifier - '%c'", token[i]));
                    request.aborted = true;
                    return request;
                }
                request.flowFlags |= flag;
            }
        } else if (!token.empty() && token[0] == '-') {
            // Once "-pi" was read, later options leave the protection alone: losing it
            // would erase the chip's calibration data.
            request.eraseInfo = request.protectInfo ? 0 : 1;
            std::string_view option = std::string_view(token).substr(1);
            if (option.size() >= 2 && std::toupper(static_cast<unsigned char>(option[0])) == 'C' &&
                std::isdigit(static_cast<unsigned char>(option[1]))) {
                std::optional<uint64_t> number = ParsePortNumber(option.substr(1));
                // Port 0 would wrap to a port index of 0xFFFFFFFF; refuse it like any bad option.
                if (number && (*number == 0 || *number > 0xFFFFFFFFu))
                    fail(Format("Illegal options argument - '%s'", std::string(option).c_str()));
                else if (number)
                    request.port = static_cast<uint32_t>(*number - 1);
            } else if (SameIgnoringCase(option, "pi")) {
                request.eraseInfo = 0;
                request.protectInfo = true;
            } else if (SameIgnoringCase(option, "fet")) {
                request.adapter = 0;
            } else if (SameIgnoringCase(option, "raw")) {
                request.adapter = 1;
            } else if (SameIgnoringCase(option, "bsl")) {
                request.adapter = 2;
            } else {
                fail(Format("Illegal options argument - '%s'", std::string(option).c_str()));
            }
        } else if (!token.empty() && pathExists(token)) {
            request.fileToken = token;
        } else {
            fail(Format("Invalid file specifier - '%s'", token.c_str()));
        }
    }
    return request;
}

} // namespace pyrola
