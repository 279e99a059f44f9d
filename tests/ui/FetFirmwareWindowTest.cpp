// A FET whose firmware the version-3 library wants updated: the window asks, with the time
// it takes and "do not unplug", and updates only on Yes.
#include "ProgramWindow.h"

#include <fstream>

namespace pyrola::ui_test {
namespace {

TEST_F(ProgramWindow, AFetNeedingNewFirmwareIsAskedAboutAndUpdatedOnYes) {
    fetLibrary_ = PYROLA_SIM_FET_LIBRARY3;
    const fs::path firmware = dir_ / "fet-firmware";
    std::ofstream(firmware) << "old\n";
    fetFirmware_ = firmware.string();
    const std::string image = ImageFile("small.txt", SmallImage());
    RemoteWindow window = StartWindow({"-fet", "+e", image});
    RemoteWindow question = WaitForDialog(L"FET firmware update");
    SaveScreenshot(window.Handle(), "fet-firmware-question.png");
    question.PostClick(IDYES);
    EXPECT_TRUE(WaitForLog(window, "FET firmware updated. Start the job again."));
    std::ifstream updated(firmware);
    std::string state;
    updated >> state;
    EXPECT_EQ(state, "current");
    // The FET answers now: the same job runs.
    window.Click(kErase);
    EXPECT_TRUE(WaitForLog(window, "Erase complete."));
    CloseWindow(window);
}

} // namespace
} // namespace pyrola::ui_test
