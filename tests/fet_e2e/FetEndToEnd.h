#pragma once
// The headless programmer run as a separate process against the simulated FET library,
// exactly as a user runs it: command line in, log and exit status out, chip state in a
// file between runs. The fixture gives each test a private folder, settings file and chip.

#include "sim/SimEnvironment.h"
#include "tests/support/TiTxtText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace pyrola::e2e {

namespace fs = std::filesystem;

struct RunResult {
    int status = -1;
    std::string output; // standard output and standard error together
};

using pyrola::sim::SetEnvValue;

inline std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

#if defined(_WIN32)
// Build-tree paths are the cross build's Unix paths; Wine shows the root as drive Z:.
inline std::string NativePath(std::string path) {
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
    }
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}
#else
inline std::string NativePath(std::string path) {
    return path;
}
#endif

inline RunResult RunPyrola(const std::vector<std::string>& arguments, const fs::path& outputFile) {
    RunResult result;
    const std::string program = NativePath(PYROLA_PROGRAM);
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
inline std::map<uint32_t, uint8_t> ParseTiTxt(const std::string& text) {
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

class FetEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("pyrola_e2e_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                "_" + std::to_string(std::random_device{}()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        state_ = dir_ / "chip.bin";
        SetEnvValue("PYROLA_FET_LIBRARY", NativePath(PYROLA_SIM_FET_LIBRARY));
        SetEnvValue("PYROLA_SIM_STATE", NativePath(state_.string()));
        SetEnvValue("PYROLA_SETTINGS", NativePath((dir_ / "settings.ini").string()));
        SetEnvValue("PYROLA_SIM_DEVICE", "");
        SetEnvValue("PYROLA_SIM_FAULTS", "");
        example_ = ParseTiTxt(ReadText(fs::path(PYROLA_SOURCE_DIR) / "examples" / "blink.txt"));
        ASSERT_GT(example_.size(), 100u);
    }
    void TearDown() override {
        for (const char* name : {"PYROLA_FET_LIBRARY", "PYROLA_SIM_STATE", "PYROLA_SETTINGS",
                                 "PYROLA_SIM_DEVICE", "PYROLA_SIM_FAULTS"}) {
            SetEnvValue(name, "");
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string ImageFile(const std::string& name, const std::map<uint32_t, uint8_t>& bytes) {
        return AnyFile(name, pyrola::test::TiTxtText(bytes));
    }
    // A file of the given contents in the test's folder, as the program names it.
    std::string AnyFile(const std::string& name, const std::string& contents) {
        fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << contents;
        return NativePath(path.string());
    }
    RunResult Run(std::vector<std::string> arguments) {
        return RunPyrola(arguments, dir_ / ("run" + std::to_string(runs_++) + ".log"));
    }
    std::vector<uint8_t> Chip() const {
        std::string text = ReadText(state_);
        return std::vector<uint8_t>(text.begin(), text.end());
    }
    fs::path dir_;
    fs::path state_;
    std::map<uint32_t, uint8_t> example_;
    int runs_ = 0;
};

} // namespace pyrola::e2e
