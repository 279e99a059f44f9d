#include "jobs/CommandLine.h"

#include "base/SystemReason.h"
#include "base/TextCompare.h"
#include "base/TextFormat.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

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

// Why a file token names nothing: the path looked for and the system's reason.
std::string MissingPathReason(const std::string& token) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(token, error);
    // Not there at all: the C library's words on every system, not the platform's own.
    if (!error || status.type() == std::filesystem::file_type::not_found)
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    return SystemReasonFor(token, error);
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

} // namespace

bool IsPortOption(std::string_view option) {
    return !option.empty() && (option[0] == 'c' || option[0] == 'C');
}

PortOption ReadPortOption(std::string_view option) {
    PortOption read;
    std::string_view text = option.substr(1);
    if (text.empty()) {
        read.problem = "-c takes the port number joined to it, as in -c1";
        return read;
    }
    unsigned base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t value = 0;
    bool fits = true;
    for (char c : text) {
        const int digit = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : (base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                                     ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                                     : -1);
        if (digit < 0) {
            read.problem =
                Format("-c takes a whole port number (decimal, or hexadecimal after 0x), and '%s' is "
                       "not one: no port was chosen",
                       std::string(option.substr(1)).c_str());
            return read;
        }
        value = value * base + static_cast<unsigned>(digit);
        fits = fits && value <= 0xFFFFFFFFu;
    }
    if (text.empty())
        read.problem = "-c0x takes hexadecimal digits after it, as in -c0x10";
    else if (!fits)
        read.problem = "The port number is too large";
    else if (value == 0)
        read.problem = "Port numbers start at 1 (COM1, LPT1)";
    else
        read.number = static_cast<uint32_t>(value);
    return read;
}

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
            if (IsPortOption(option)) {
                const PortOption port = ReadPortOption(option);
                if (port.number) {
                    request.port = *port.number - 1;
                    continue;
                }
                fail(Format("Illegal options argument - '%s'", std::string(option).c_str()));
                // "-c 1": the number was meant to be joined to it.
                const size_t next = static_cast<size_t>(&token - tokens.data()) + 1;
                if (option.size() == 1 && next < tokens.size() && AllDigits(tokens[next]) &&
                    !pathExists(tokens[next]))
                    fail(Format("-c takes the port number joined to it: write -c%s, not -c %s",
                                tokens[next].c_str(), tokens[next].c_str()));
                else
                    fail(port.problem);
                request.aborted = true;
                return request;
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
            fail(MissingPathReason(token));
        }
    }
    return request;
}

} // namespace pyrola
