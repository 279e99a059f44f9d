// The Device serialization dialog under Wine: its fields and checks, Write and Read through
// the simulated FET library, Inc and Dec, Save, New and Open of a .sprj file, and its
// command in the main window.
#include "ProgramWindow.h"

#include <commctrl.h>

#include <fstream>
#include <iterator>

namespace pyrola::ui_test {
namespace {

TEST_F(ProgramWindow, SerializationDialogWritesTheSerialAndKeepsItsConfiguration) {
    RemoteWindow window = StartWindow({});
    ASSERT_TRUE(WaitUntil([&] { return window.StatusPart(kStatus, 1) == L"Ready"; }, kStartTimeoutMs));
    auto openDialog = [&] {
        window.PostClick(kSerialization);
        HWND found = nullptr;
        EXPECT_TRUE(
            WaitUntil([&] { return (found = FindDialogTitled(first_->Id(), L"Device serialization")); }));
        return RemoteWindow(found, first_->Handle());
    };
    RemoteWindow serial = openDialog();
    ASSERT_NE(serial.Handle(), nullptr);
    EXPECT_EQ(GetWindow(serial.Handle(), GW_OWNER), window.Handle());
    // The command stays disabled while the dialog exists.
    EXPECT_TRUE(WaitUntil([&] { return !window.Enabled(kSerialization); }));

    // The defaults.
    EXPECT_EQ(serial.Text(kSerConfigFile), L"");
    EXPECT_EQ(serial.Text(kSerAddress), L"0x1000");
    EXPECT_EQ(serial.Text(kSerAddressCheck), L"");
    EXPECT_EQ(serial.Text(kSerNumber), L"TEST00001M2");
    EXPECT_EQ(serial.Text(kSerNumberCheck), L"");
    EXPECT_EQ(serial.Text(kSerCurrent), L"TEST00001M2");
    EXPECT_EQ(serial.Text(kSerInMemory), L"???");
    EXPECT_EQ(serial.Text(kSerSize), L"Size: 12 bytes");
    const std::vector<std::wstring> names = {L"char *", L"char[]", L"BYTE", L"WORD", L"DWORD"};
    ASSERT_EQ(serial.ComboCount(kSerPlaceAs), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(serial.ComboText(kSerPlaceAs, i), names[static_cast<size_t>(i)]);
    EXPECT_EQ(serial.ComboSelection(kSerPlaceAs), 0);
    for (int id : {kSerNew, kSerOpen, kSerSave, kSerRead, kSerWrite, kSerInc, kSerDec, IDOK})
        EXPECT_TRUE(serial.Enabled(id)) << id;

    // "char[]" has no terminating zero; a bad address is refused beside its field.
    serial.SelectCombo(kSerPlaceAs, 1);
    EXPECT_EQ(serial.Text(kSerSize), L"Size: 11 bytes");
    serial.SelectCombo(kSerPlaceAs, 0);
    EXPECT_EQ(serial.Text(kSerSize), L"Size: 12 bytes");
    serial.SetText(kSerAddress, "x10");
    EXPECT_EQ(serial.Text(kSerAddressCheck), L"Error. Invalid input.");
    EXPECT_EQ(serial.Text(kSerAddress), L"x10"); // what was typed stays
    // Anything after the digits is no address either (0x1G00 was taken as 0x1).
    serial.SetText(kSerAddress, "0x1G00");
    EXPECT_EQ(serial.Text(kSerAddressCheck), L"Error. Invalid input.");
    serial.SetText(kSerNumber, "ABC");
    EXPECT_EQ(serial.Text(kSerNumberCheck), L"Error. Invalid input.");
    EXPECT_EQ(serial.Text(kSerCurrent), L"???");
    SaveScreenshot(serial.Handle(), "serialization-invalid-input.png");
    serial.SetText(kSerAddress, "0x1000");
    EXPECT_EQ(serial.Text(kSerAddressCheck), L"");
    serial.SetText(kSerNumber, "TEST00001M2");
    EXPECT_EQ(serial.Text(kSerNumberCheck), L"");

    // Write: the simulated chip holds the text and its zero at 0x1000, "In memory" shows it.
    serial.Click(kSerWrite);
    ASSERT_TRUE(WaitForLog(window, "Write serial number complete.")) << ::testing::PrintToString(Log(window));
    ASSERT_TRUE(WaitForIdle(window));
    EXPECT_TRUE(WaitUntil([&] { return serial.Text(kSerInMemory) == L"TEST00001M2"; }))
        << Narrow(serial.Text(kSerInMemory));
    EXPECT_TRUE(serial.Enabled(kSerWrite));
    {
        std::ifstream in(dir_ / "chip.bin", std::ios::binary);
        std::string chip((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GE(chip.size(), 0x1010u);
        EXPECT_EQ(chip.substr(0x1000, 12), std::string("TEST00001M2\0", 12));
    }

    // Inc and Dec step the number; Read fetches what the chip holds.
    serial.Click(kSerInc);
    EXPECT_EQ(serial.Text(kSerNumber), L"TEST00002M2");
    EXPECT_EQ(serial.Text(kSerCurrent), L"TEST00002M2");
    serial.Click(kSerInc);
    serial.Click(kSerDec);
    EXPECT_EQ(serial.Text(kSerNumber), L"TEST00002M2");
    serial.SetText(kSerAddress, "0x1000"); // the same address: "In memory" is unknown again
    EXPECT_EQ(serial.Text(kSerInMemory), L"???");
    serial.Click(kSerRead);
    ASSERT_TRUE(WaitForLog(window, "Read serial number complete.")) << ::testing::PrintToString(Log(window));
    EXPECT_TRUE(WaitUntil([&] { return serial.Text(kSerInMemory) == L"TEST00001M2"; }))
        << Narrow(serial.Text(kSerInMemory));

    // Save, New, Open: the file round-trips the configuration.
    const std::string config = (dir_ / "board.sprj").string();
    auto choose = [&](int button) {
        serial.PostClick(button);
        HWND files = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (files = FindOwnedDialog(first_->Id(), serial.Handle())); }));
        ChooseFileInDialog(files, config);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(files); }));
    };
    choose(kSerSave);
    EXPECT_TRUE(WaitUntil([&] { return serial.Text(kSerConfigFile) == Wide(config); }))
        << Narrow(serial.Text(kSerConfigFile));
    {
        std::ifstream in(config);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("[Options]"), std::string::npos) << text;
        EXPECT_NE(text.find("Address=4096"), std::string::npos) << text;
        EXPECT_NE(text.find("Type=0"), std::string::npos) << text;
        EXPECT_NE(text.find("Serial=TEST00002M2"), std::string::npos) << text;
    }
    serial.SelectCombo(kSerPlaceAs, 1);
    serial.Click(kSerNew);
    EXPECT_EQ(serial.Text(kSerConfigFile), L"");
    EXPECT_EQ(serial.Text(kSerNumber), L"TEST00001M2");
    EXPECT_EQ(serial.ComboSelection(kSerPlaceAs), 0);
    serial.SetText(kSerAddress, "0x1080");
    choose(kSerOpen);
    EXPECT_TRUE(WaitUntil([&] { return serial.Text(kSerNumber) == L"TEST00002M2"; }))
        << Narrow(serial.Text(kSerNumber));
    EXPECT_EQ(serial.Text(kSerAddress), L"0x1000");
    EXPECT_EQ(serial.Text(kSerConfigFile), Wide(config));
    EXPECT_EQ(serial.ComboSelection(kSerPlaceAs), 0);
    SaveScreenshot(serial.Handle(), "serialization.png");

    // OK closes the dialog and gives the command back; the configuration stays.
    serial.PostClick(IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(serial.Handle()) && window.Enabled(kSerialization); }));
    RemoteWindow again = openDialog();
    EXPECT_EQ(again.Text(kSerNumber), L"TEST00002M2");
    EXPECT_EQ(again.Text(kSerConfigFile), Wide(config));
    // Escape is the cancel command: it closes as OK does.
    PostMessageW(again.Handle(), WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(again.Handle()) && window.Enabled(kSerialization); }));
    // The program closes with the dialog open, taking it along.
    RemoteWindow last = openDialog();
    ASSERT_NE(last.Handle(), nullptr);
    CloseWindow(window);
    EXPECT_FALSE(IsWindow(last.Handle()));
}

// With an image loaded, a serial placed on its bytes is warned of beside the address, and
// the warning is read whole on the dialog.
TEST_F(ProgramWindow, SerializationDialogWarnsOfASerialOnTheImage) {
    const std::string image = ImageFile("small.txt", SmallImage());
    RemoteWindow window = StartWindow({});
    ASSERT_TRUE(WaitUntil([&] { return window.StatusPart(kStatus, 1) == L"Ready"; }, kStartTimeoutMs));
    window.DropFiles({image});
    ASSERT_TRUE(WaitForLog(window, "Load 66 bytes at 0xF000-0xFFFF"));
    window.PostClick(kSerialization);
    HWND found = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (found = FindDialogTitled(first_->Id(), L"Device serialization")); }));
    RemoteWindow serial(found, first_->Handle());
    serial.SetText(kSerAddress, "0xFFFE"); // the reset vector
    EXPECT_EQ(serial.Text(kSerAddressCheck), L"Warning. The serial overlaps the image.");
    SaveScreenshot(serial.Handle(), "serialization-overlap.png");
    serial.SetText(kSerAddress, "0x1000");
    EXPECT_EQ(serial.Text(kSerAddressCheck), L"");
    serial.PostClick(IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(serial.Handle()); }));
    CloseWindow(window);
}

} // namespace
} // namespace pyrola::ui_test
