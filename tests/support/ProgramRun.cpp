// Runs the real program and reads and writes TI TXT images for the end-to-end tests.
#include "tests/support/ProgramRun.h"

#include "sim/SimEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace pyrola::test {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

#if defined(_WIN32)
// Build-tree paths are the cross build's Unix paths; Wine shows the root as drive Z:.
std::string NativePath(std::string path) {
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
    }
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}
#else
std::string NativePath(std::string path) {
    return path;
}
#endif

RunResult RunProgram(const std::string& programPath, const std::vector<std::string>& arguments,
                     const fs::path& outputFile) {
    RunResult result;
    const std::string program = NativePath(programPath);
#if defined(_WIN32)
    std::string command = "\"" + program + "\"";
    for (const std::string& a : arguments) {
        command += " \"" + a + "\"";
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileA(outputFile.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return result;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, 120000);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.status = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
#else
    std::string command = "'" + program + "'";
    for (const std::string& a : arguments) {
        command += " '" + a + "'";
    }
    command += " >'" + outputFile.string() + "' 2>&1 </dev/null";
    int raw = std::system(command.c_str());
    result.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
#endif
    result.output = ReadText(outputFile);
    return result;
}

// A TI TXT image as address -> byte, read here independently of the program's reader.
std::map<uint32_t, uint8_t> ParseTiTxt(const std::string& text) {
    std::map<uint32_t, uint8_t> bytes;
    std::istringstream in(text);
    std::string token;
    uint32_t address = 0;
    while (in >> token) {
        if (token == "q") {
            break;
        }
        if (token[0] == '@') {
            address = static_cast<uint32_t>(std::stoul(token.substr(1), nullptr, 16));
        } else {
            bytes[address++] = static_cast<uint8_t>(std::stoul(token, nullptr, 16));
        }
    }
    return bytes;
}

std::string WriteTiTxt(const std::map<uint32_t, uint8_t>& bytes) {
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

ProgramEndToEnd::ProgramEndToEnd(std::string program, std::vector<std::string> variables)
    : program_(std::move(program)), variables_(std::move(variables)) {
    for (const char* name :
         {"PYROLA_SIM_STATE", "PYROLA_SETTINGS", "PYROLA_SIM_DEVICE", "PYROLA_SIM_FAULTS"}) {
        variables_.push_back(name);
    }
}

void ProgramEndToEnd::SetUp() {
    dir_ = fs::temp_directory_path() /
           ("pyrola_e2e_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            "_" + std::to_string(std::random_device{}()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    state_ = dir_ / "chip.bin";
    sim::SetEnvValue("PYROLA_SIM_STATE", NativePath(state_.string()));
    sim::SetEnvValue("PYROLA_SETTINGS", NativePath((dir_ / "settings.ini").string()));
    sim::SetEnvValue("PYROLA_SIM_DEVICE", "");
    sim::SetEnvValue("PYROLA_SIM_FAULTS", "");
    example_ = ParseTiTxt(ReadText(fs::path(PYROLA_SOURCE_DIR) / "examples" / "blink.txt"));
    ASSERT_GT(example_.size(), 100u);
}

void ProgramEndToEnd::TearDown() {
    for (const std::string& name : variables_) {
        sim::SetEnvValue(name, "");
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

std::string ProgramEndToEnd::ImageFile(const std::string& name, const std::map<uint32_t, uint8_t>& bytes) {
    return AnyFile(name, WriteTiTxt(bytes));
}

std::string ProgramEndToEnd::AnyFile(const std::string& name, const std::string& contents) {
    fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << contents;
    return NativePath(path.string());
}

RunResult ProgramEndToEnd::Run(const std::vector<std::string>& arguments) {
    return RunProgram(program_, arguments, dir_ / ("run" + std::to_string(runs_++) + ".log"));
}

std::vector<uint8_t> ProgramEndToEnd::Chip() const {
    std::string text = ReadText(state_);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void ProgramEndToEnd::ExpectMainMemoryHolds(const std::map<uint32_t, uint8_t>& image) const {
    std::vector<uint8_t> chip = Chip();
    ASSERT_GE(chip.size(), 0x10000u);
    size_t programmed = 0;
    for (uint32_t a = 0x1100; a <= 0xFFFF; ++a) {
        auto it = image.find(a);
        uint8_t want = it == image.end() ? 0xFF : it->second;
        programmed += it != image.end();
        ASSERT_EQ(chip[a], want) << std::hex << a;
    }
    size_t inMain = 0;
    for (const auto& entry : image) {
        inMain += entry.first >= 0x1100 && entry.first <= 0xFFFF;
    }
    EXPECT_EQ(programmed, inMain);
}

} // namespace pyrola::test
