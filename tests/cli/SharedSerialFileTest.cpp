// The serialization dialog and headless runs taking numbers from one .sprj file: whichever
// takes, the file steps under its lock, no number goes to two boards, and the dialog's Save
// never moves the counter back to numbers already given out.
#include "adapters/DeviceTable.h"
#include "cli/SerialCounterFile.h"
#include "cli/SerialReservation.h"
#include "platform/ProfileFile.h"
#include "serialno/SerializationForm.h"
#include "tests/support/RecordingBus.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <set>

using namespace pyrola;
using namespace pyrola::cli;
using namespace pyrola::test;

namespace {

std::string Text(const SerialBlock& block) {
    return std::string(block.bytes.begin(), block.bytes.end() - 1); // without the zero byte
}

} // namespace

TEST(SharedSerialFile, DialogAndHeadlessRunsTakeEachNumberOnce) {
    TempDir folder;
    const std::string path = folder.File("unit.sprj");
    SerialBlock dialogBlock;
    RecordingBus bus;
    SerializationForm form(SystemProfileFile(), dialogBlock, bus, {}, &SystemSharedSerialFile());
    form.Opened();
    form.NumberEdited("TEST00001M2");
    ASSERT_TRUE(form.SaveChosen(path));

    DeviceRecord device;
    FillDeviceRecord(3, &device);
    std::set<std::string> given;
    auto headless = [&] {
        SerialReservation run(path);
        SerialBlock block;
        EXPECT_EQ(run.Load(block, true), "");
        EXPECT_TRUE(run.Reserve(device, block).ok);
        EXPECT_TRUE(given.insert(Text(block)).second) << Text(block) << " given twice";
    };
    auto dialogWrite = [&] {
        ASSERT_TRUE(form.WriteClicked()) << form.FileProblemText();
        EXPECT_TRUE(given.insert(Text(dialogBlock)).second) << Text(dialogBlock) << " given twice";
    };

    headless();    // TEST00001M2
    dialogWrite(); // the file's TEST00002M2, not the dialog's stale TEST00001M2
    EXPECT_EQ(form.CurrentText(), "TEST00003M2");
    EXPECT_EQ(bus.Sent(kBusWriteSerial).size(), 1u);
    headless(); // TEST00003M2
    headless(); // TEST00004M2

    // The dialog still shows TEST00003M2: saving it would hand out 3 and 4 again.
    EXPECT_FALSE(form.SaveChosen(path));
    EXPECT_EQ(form.FileProblemText(),
              "Save refused. \"" + path +
                  "\": the file is already at TEST00005M2, past TEST00003M2: the numbers "
                  "between may be on boards already (Open the file to go on from its number, or start "
                  "a new series in a new file)");
    EXPECT_NE(folder.Read("unit.sprj").find("Serial=TEST00005M2"), std::string::npos);
    // Forward is fine: a new batch starting later.
    form.NumberEdited("TEST00100M2");
    EXPECT_TRUE(form.SaveChosen(path)) << form.FileProblemText();
    headless();    // TEST00100M2
    dialogWrite(); // TEST00101M2
    EXPECT_EQ(given, (std::set<std::string>{"TEST00001M2", "TEST00002M2", "TEST00003M2", "TEST00004M2",
                                            "TEST00100M2", "TEST00101M2"}));
    EXPECT_NE(folder.Read("unit.sprj").find("Serial=TEST00102M2"), std::string::npos);
    // Another form starts the counter over too: boards 1 to 101 hold those digits already,
    // as text, and a WORD from 5 would give 5 again.
    form.PlaceAsSelected(3);
    form.NumberEdited("5");
    EXPECT_FALSE(form.SaveChosen(path));
    EXPECT_NE(form.FileProblemText().find("the file is already at TEST00102M2, past 5"), std::string::npos)
        << form.FileProblemText();
    form.NumberEdited("102");
    EXPECT_TRUE(form.SaveChosen(path)) << form.FileProblemText();
    EXPECT_NE(folder.Read("unit.sprj").find("Serial=102"), std::string::npos);

    // A file the line could not use is refused by Write too, with the reason; nothing taken.
    folder.Write("unit.sprj", "[Options]\r\nType=3\r\nSerial=12a\r\n");
    EXPECT_FALSE(form.WriteClicked());
    EXPECT_EQ(form.FileProblemText(), "Write refused. \"" + path + "\": Serial '12a' is not a whole number");
    EXPECT_EQ(bus.Sent(kBusWriteSerial).size(), 2u);
}
