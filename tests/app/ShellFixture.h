#pragma once
// A shell wired to scripted adapters, a recording bus, an in-memory settings store and a
// view that records everything it is told.

#include "app/ProgrammerShell.h"
#include "platform/MemorySettingsStore.h"
#include "tests/support/RecordingBus.h"
#include "tests/support/ScriptedAdapter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pyrola::test {

class RecordingView : public ShellView {
public:
    void AppendLog(const std::string& line) override { logLines.push_back(line); }
    void SetStatusText(const std::string& text) override { statusTexts.push_back(text); }
    void SetStatusError(bool error) override { statusError = error; }
    void SetAdapterLabel(const std::string& label) override { adapterLabel = label; }
    void ProgressCreate(uint32_t range) override { progress.push_back("create " + std::to_string(range)); }
    void ProgressStep() override { progress.push_back("step"); }
    void ProgressSetPosition(uint32_t position) override {
        progress.push_back("pos " + std::to_string(position));
    }
    void ProgressDestroy() override { progress.push_back("destroy"); }
    void SetTitle(const std::string& text) override { title = text; }
    void SetCommandStates(const CommandStates& states) override { this->states = states; }
    void ShowDevice(uint32_t index, const std::string& information) override {
        deviceIndex = index;
        deviceInformation = information;
    }
    void RefreshMemoryView(uint32_t scrollAddress) override { scroll = scrollAddress; }
    FileFormat AskFormat(FileFormat preselected, uint32_t* binaryBase) override {
        asked.push_back(preselected);
        if (binaryBase)
            *binaryBase = askBase;
        return askAnswer;
    }
    void BringToFront() override { ++broughtToFront; }
    void RefreshSerialization() override { ++serializationRefreshes; }
    void Beep() override { ++beeps; }
    std::optional<bool> Ask(const std::string& title, const std::string& question) override {
        if (answer) // a view that cannot ask shows nothing
            questions.push_back(title + ": " + question);
        return answer;
    }

    // Log lines without their "hh:mm:ss->" prefix.
    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (const std::string& line : logLines)
            texts.push_back(line.size() >= 10 ? line.substr(10) : line);
        return texts;
    }
    bool Logged(const std::string& text) const {
        for (const std::string& t : LogTexts()) {
            if (t == text)
                return true;
        }
        return false;
    }

    std::vector<std::string> logLines, statusTexts, progress;
    bool statusError = false;
    std::string adapterLabel, title, deviceInformation;
    CommandStates states;
    uint32_t deviceIndex = 0xFFFFFFFF;
    uint32_t scroll = 0;
    std::vector<FileFormat> asked;
    FileFormat askAnswer = FileFormat::Binary;
    uint32_t askBase = 0;
    int broughtToFront = 0, serializationRefreshes = 0, beeps = 0;
    std::vector<std::string> questions;
    std::optional<bool> answer; // what Ask answers (nullopt: a view that cannot ask)
};

class ShellFixture : public ::testing::Test {
protected:
    ShellFixture() {
        static int counter = 0;
        folder_ =
            std::filesystem::temp_directory_path() / ("pyrola-shell-" + std::to_string(++counter) + "-" +
                                                      std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(folder_);
    }
    ~ShellFixture() override {
        shell.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    // Builds and initialises the shell; settings put into the store before count.
    void Start() { StartOn(bus); }
    // The same with the worker's requests going to another bus.
    void StartOn(MessageBus& messageBus) {
        AdapterSet set;
        set.fet = &fet;
        set.raw = &raw;
        set.bsl = &bsl;
        set.setBslPatch = [this](bool enabled) { bslPatch = enabled; };
        set.setBslLine = [this](const BslLineOptions& line) { bslLine = line; };
        set.bslNeedsPassword = [this] { return bslNeedsPassword; };
        set.setBslPassword = [this](const BslPassword& password) { bslPassword = password; };
        set.fetFirmwareNeeded = [this] { return fetNeedingFirmware; };
        set.updateFetFirmware = [this] {
            ++firmwareUpdates;
            if (firmwareUpdateProblem.empty())
                fetNeedingFirmware.clear();
            return firmwareUpdateProblem;
        };
        shell = std::make_unique<ProgrammerShell>(view, store, messageBus, set);
        shell->SetTimeSource([] { return TimeOfDay{9, 5, 7}; });
        shell->Initialize();
    }
    void PutSetting(const char* name, uint32_t value) { store.Put("Software\\Qorvane\\Pyrola", name, value); }

    std::string WriteFile(const std::string& name, const std::string& contents) {
        std::filesystem::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << contents;
        return path.string();
    }
    // A TI TXT file with bytes at 0x1100.. and, optionally, the top of the vector table.
    std::string ProgramFile(const std::string& name = "prog.txt") {
        return WriteFile(name, "@1100\n01 02 03 04 05 06 07 08\n@FFFC\n34 12 00 11\nq\n");
    }
    void WaitForJob() { ASSERT_TRUE(shell->Engine().WaitForWorker(20000)); }
    std::vector<std::string> Ops(ScriptedAdapter& adapter) {
        std::vector<std::string> ops;
        for (const std::string& op : adapter.Ops()) {
            if (op != "GetErrorNumber" && op != "GetErrorText" && op != "GetBlockSize" && op != "GetName")
                ops.push_back(op);
        }
        return ops;
    }
    bool WorkerPosted() const {
        for (uintptr_t v : bus.Posted(kBusJobState)) {
            (void)v;
            return true;
        }
        return false;
    }

    std::filesystem::path folder_;
    ScriptedAdapter fet{256, "FET"};
    ScriptedAdapter raw{256, "RAW"};
    ScriptedAdapter bsl{250, "BSL"};
    bool bslNeedsPassword = true;
    std::string fetNeedingFirmware; // the FET adapter's answer: its name when it needs new firmware
    std::string firmwareUpdateProblem;
    int firmwareUpdates = 0;
    std::optional<BslPassword> bslPassword;
    std::optional<bool> bslPatch;
    std::optional<BslLineOptions> bslLine;
    MemorySettingsStore store;
    RecordingBus bus;
    RecordingView view;
    std::unique_ptr<ProgrammerShell> shell;
};

} // namespace pyrola::test
