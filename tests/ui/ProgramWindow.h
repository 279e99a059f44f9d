#pragma once
// What the window tests share: the program's control numbers, small images, the fixture
// that starts pyrola.exe with a private settings file, chip and simulated FET library, and
// the readers of the screen (colours, memory-view rows, screenshots saved for people).
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pyrola::ui_test {

namespace fs = std::filesystem;

// Control and command numbers of the program (its resource.h is the program's own).
constexpr int kOpen = 57601, kSave = 57603, kAuto = 1004, kErase = 1003, kBlankCheck = 1006, kProgram = 1000,
              kVerify = 1002, kRead = 1001, kReset = 1007, kCancel = 1005, kSetup = 1039,
              kSerialization = 1076;
constexpr int kLog = 1022, kStatus = 1023, kDevice = 1024, kMemory = 1025, kDeviceInfo = 2002;
constexpr int kRecentFirst = 57616;
constexpr int kSerNew = 1060, kSerOpen = 1061, kSerSave = 1062, kSerCurrent = 1063, kSerRead = 1064,
              kSerWrite = 1065, kSerInc = 1066, kSerAddress = 1067, kSerInMemory = 1068, kSerDec = 1069,
              kSerNumber = 1070, kSerSize = 1071, kSerConfigFile = 1072, kSerPlaceAs = 1073,
              kSerNumberCheck = 1074, kSerAddressCheck = 1075;
constexpr int kFormatTiTxt = 1032, kFormatIntelHex = 1033, kFormatBinary = 1034, kFormatBase = 1081;
constexpr int kAboutVersion = 1093, kAboutUsage = 1092, kAboutMail = 1091, kAboutWeb = 1090;
// The first start of a program in a new Wine prefix takes a while.
constexpr uint32_t kStartTimeoutMs = 60000;
constexpr uint32_t kJobTimeoutMs = 60000;

using Image = std::map<uint32_t, uint8_t>;

// 64 bytes of code at 0xF000 (control bytes and bytes above 127 among them) and the
// reset vector: a span of 4,096 bytes.
Image SmallImage();
// All of an F149's main flash.
Image FullImage();

// Log lines without their "HH:MM:SS->".
std::vector<std::string> WithoutTime(const std::vector<std::wstring>& lines);
size_t CountOf(const std::vector<std::string>& lines, const std::string& text);

bool Reddish(const Pixel& p);
bool Greenish(const Pixel& p);
bool Bluish(const Pixel& p);
int CountPixels(const Screenshot& shot, int left, int top, int right, int bottom, bool (*kind)(const Pixel&));

// The window as the screen shows it once painted, also saved as build/.../ui/<name> for
// people to look at.
Screenshot SaveScreenshot(HWND window, const std::string& name);

// The row of the memory view that holds address, with the pixel ranges of its cells.
struct RowOnScreen {
    RECT row{};
    int cellWidth = 0;
    int CellLeft(int cell) const { return row.left + (2 + cell) * cellWidth; }
};
RowOnScreen MemoryRow(const RemoteWindow& window, uint32_t firstAddress, uint32_t address);

class ProgramWindow : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::vector<std::pair<std::string, std::string>> Environment() const;
    Process& Start(const std::vector<std::string>& arguments, int show = SW_SHOWNORMAL);
    // The first instance and its main window.
    RemoteWindow StartWindow(const std::vector<std::string>& arguments, int show = SW_SHOWNORMAL);
    // The same, once it shows "Ready".
    RemoteWindow StartReadyWindow();
    // A second start: it must end at once with status 0.
    void SecondStart(const std::vector<std::string>& arguments);
    // WM_CLOSE: the program must end with Exit's quit code.
    void CloseWindow(const RemoteWindow& window);
    // The first instance's visible dialog with that caption, once it is there.
    RemoteWindow WaitForDialog(const std::wstring& caption) const;

    std::vector<std::string> Log(const RemoteWindow& window) const;
    bool WaitForLog(const RemoteWindow& window, const std::string& text, size_t count = 1,
                    uint32_t timeoutMs = kJobTimeoutMs) const;
    bool WaitForIdle(const RemoteWindow& window) const;
    // A TI TXT file in the test's folder; its path.
    std::string ImageFile(const std::string& name, const Image& bytes) const;
    std::string SettingsText() const;

    fs::path dir_;
    fs::path settings_;
    std::string fetDelay_;                            // PYROLA_SIM_FET_DELAY for the program
    std::string fetLibrary_ = PYROLA_SIM_FET_LIBRARY; // the version-2 simulated library
    std::string fetFirmware_; // PYROLA_SIM_FET_FIRMWARE (version 3: "old" asks for an update)
    std::vector<std::unique_ptr<Process>> processes_;
    Process* first_ = nullptr;
};

} // namespace pyrola::ui_test
