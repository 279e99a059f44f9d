// The serialization dialog's logic: fields and checks, stepping with the one-shot flag, the
// ".sprj" files through the system's profile functions, and the requests to the main
// window. (The same requests through a real shell are in tests/app.)
#include "serialno/SerializationForm.h"
#include "platform/ProfileFile.h"
#include "serialno/SerialBytes.h"
#include "serialno/SerialConfigFile.h"
#include "tests/support/RecordingBus.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace pyrola;
using namespace pyrola::test;

namespace {

class FormTest : public ::testing::Test {
protected:
    FormTest() { form.Opened(); }
    std::string PathOf(const std::string& name) const { return folder_.File(name); }
    std::string WriteText(const std::string& name, const std::string& text) const {
        return folder_.Write(name, text);
    }
    std::string ReadText(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TempDir folder_;
    SerialBlock block;
    RecordingBus bus;
    bool jobRunning = false;
    SerializationForm form{SystemProfileFile(), block, bus, [this] { return jobRunning; }};
};

} // namespace

TEST_F(FormTest, OpeningShowsTheDefaults) {
    EXPECT_EQ(form.AddressText(), "0x1000");
    EXPECT_EQ(form.AddressCheckText(), "");
    EXPECT_EQ(form.NumberText(), "TEST00001M2");
    EXPECT_EQ(form.NumberCheckText(), "");
    EXPECT_EQ(form.CurrentText(), "TEST00001M2");
    EXPECT_EQ(form.PlaceAsSelection(), 0);
    EXPECT_STREQ(SerializationForm::PlaceAsNames()[4], "DWORD");
    EXPECT_EQ(form.SizeText(), "Size: 12 bytes");
    EXPECT_EQ(form.InMemoryText(), "???"); // nothing read yet
    EXPECT_EQ(form.ConfigFileText(), "");
    EXPECT_TRUE(form.JobButtonsEnabled());
}

TEST_F(FormTest, AddressFieldStoresWhatParsesAndKeepsTheRest) {
    block.valid = 1;
    block.bytes = {'S', '1', 0};
    form.RefreshInMemory();
    EXPECT_EQ(form.InMemoryText(), "S1");
    form.AddressEdited("0x1080");
    EXPECT_EQ(form.Config().address, 4224u);
    EXPECT_EQ(form.AddressCheckText(), "");
    EXPECT_EQ(form.InMemoryText(), "???"); // the block no longer describes that address
    form.AddressEdited("x10");
    EXPECT_EQ(form.Config().address, 4224u);
    EXPECT_EQ(form.AddressCheckText(), "Error. Invalid input.");
    EXPECT_EQ(form.AddressText(), "x10");
    // A typo after the digits is no address: "0x1G00" is not 0x1, "10x" not 10.
    for (const char* typo : {"10x", "0x1G00", "0x", "4096 2"}) {
        form.AddressEdited(typo);
        EXPECT_EQ(form.Config().address, 4224u) << typo;
        EXPECT_EQ(form.AddressCheckText(), "Error. Invalid input.") << typo;
    }
    form.AddressEdited(" 0x1G ");
    EXPECT_EQ(form.AddressCheckText(), "Error. Invalid input.");
    form.AddressEdited(" 4096 ");
    EXPECT_EQ(form.Config().address, 4096u);
    EXPECT_EQ(form.AddressCheckText(), "");
}

TEST_F(FormTest, NumberFieldAndPlaceAs) {
    form.PlaceAsSelected(kSerialCharArray);
    EXPECT_EQ(form.SizeText(), "Size: 11 bytes");
    form.NumberEdited("ABC");
    EXPECT_EQ(form.NumberCheckText(), "Error. Invalid input.");
    EXPECT_EQ(form.CurrentText(), "???");
    EXPECT_EQ(form.Config().serial, "TEST00001M2"); // the last valid serial stays
    form.NumberEdited("SN-0042");
    EXPECT_EQ(form.NumberCheckText(), "");
    EXPECT_EQ(form.CurrentText(), "SN-0042");
    EXPECT_EQ(form.SizeText(), "Size: 7 bytes");
    // Switching to a numeric type parses the same field text as a number.
    form.PlaceAsSelected(kSerialWord);
    EXPECT_EQ(form.NumberCheckText(), "Error. Invalid input.");
    EXPECT_EQ(form.SizeText(), "Size: 2 bytes");
    form.NumberEdited("0x1F");
    EXPECT_EQ(form.CurrentText(), "31");
    EXPECT_EQ(form.NumberText(), "0x1F"); // the field keeps what was typed
}

TEST_F(FormTest, IncStepsTheLastParseWithoutReadingTheField) {
    form.NumberEdited("SN-0042");
    form.IncClicked();
    EXPECT_EQ(form.CurrentText(), "SN-0043");
    EXPECT_EQ(form.NumberText(), "SN-0043");
    // An entry without digits resets the split: Inc renders the bare number.
    form.NumberEdited("ABC");
    form.IncClicked();
    EXPECT_EQ(form.CurrentText(), "44");
    EXPECT_EQ(form.NumberText(), "44");
    EXPECT_EQ(form.NumberCheckText(), "");
    // The one-shot flag was used up by the dialog's own rewrite: the user's next change
    // is parsed again.
    form.NumberEdited("X7");
    EXPECT_EQ(form.CurrentText(), "X7");
    form.DecClicked();
    form.DecClicked();
    EXPECT_EQ(form.CurrentText(), "X5");
}

TEST_F(FormTest, IncKeepsTheSizeInStepWithAWideningCounter) {
    form.NumberEdited("T99");
    EXPECT_EQ(form.SizeText(), "Size: 4 bytes");
    form.IncClicked();
    EXPECT_EQ(form.CurrentText(), "T100");
    EXPECT_EQ(form.SizeText(), "Size: 5 bytes");
}

TEST_F(FormTest, ReadAndWriteComposeTheLastValidSerialAndAskTheMainWindow) {
    form.AddressEdited("0xE010");
    form.NumberEdited("SN-0042");
    form.NumberEdited("no digits"); // invalid: the last valid serial goes
    ASSERT_TRUE(form.WriteClicked());
    EXPECT_EQ(block.address, 0xE010u);
    EXPECT_EQ(block.bytes, (std::vector<uint8_t>{'S', 'N', '-', '0', '0', '4', '2', 0}));
    EXPECT_EQ(block.valid, 1);
    ASSERT_TRUE(form.ReadClicked());
    EXPECT_EQ(bus.Codes(), (std::vector<uint32_t>{kBusWriteSerial, kBusReadSerial}));
    EXPECT_TRUE(bus.Posted(kBusJobState).empty());

    // While a job runs its worker may use the block: nothing is composed or asked for.
    jobRunning = true;
    EXPECT_FALSE(form.JobButtonsEnabled());
    block.bytes.clear();
    EXPECT_FALSE(form.ReadClicked());
    EXPECT_FALSE(form.WriteClicked());
    EXPECT_TRUE(block.bytes.empty());
    EXPECT_EQ(bus.Codes().size(), 2u);

    form.Closed();
    EXPECT_EQ(bus.Posted(kBusJobState), (std::vector<uintptr_t>{0}));
}

TEST_F(FormTest, InMemoryDecodesByTheCurrentType) {
    form.PlaceAsSelected(kSerialDword);
    block.bytes = {0x78, 0x56, 0x34, 0x12};
    block.valid = 1;
    form.RefreshInMemory();
    EXPECT_EQ(form.InMemoryText(), "305419896"); // decimal, as the number is typed
    block.valid = 0;                             // a failed read
    form.RefreshInMemory();
    EXPECT_EQ(form.InMemoryText(), "???");
}

TEST_F(FormTest, SavedDefaultsOpenAgainAsTheDefaults) {
    const std::string path = PathOf("unit.sprj");
    form.NumberEdited("SN-0042");
    form.NewClicked();
    EXPECT_EQ(form.NumberText(), "TEST00001M2");
    ASSERT_TRUE(form.SaveChosen(path));
    EXPECT_EQ(form.ConfigFileText(), path);
    const std::string text = ReadText(path);
    const size_t address = text.find("Address=4096"), type = text.find("Type=0"),
                 serial = text.find("Serial=TEST00001M2");
    ASSERT_NE(text.find("[Options]"), std::string::npos) << text;
    ASSERT_NE(serial, std::string::npos) << text;
    EXPECT_LT(address, type);
    EXPECT_LT(type, serial);

    form.AddressEdited("0x2000");
    form.PlaceAsSelected(kSerialWord);
    form.NumberEdited("9");
    form.OpenChosen(path);
    EXPECT_EQ(form.Config().address, 0x1000u);
    EXPECT_EQ(form.AddressText(), "0x1000");
    EXPECT_EQ(form.PlaceAsSelection(), kSerialCharPointer);
    EXPECT_EQ(form.NumberText(), "TEST00001M2");
    EXPECT_EQ(form.CurrentText(), "TEST00001M2");
    EXPECT_EQ(form.SizeText(), "Size: 12 bytes");

    form.NewClicked();
    EXPECT_EQ(form.ConfigFileText(), "");
}

TEST_F(FormTest, OpenReadsHexadecimalAddressesAndDefaultsForMissingKeys) {
    form.OpenChosen(WriteText("hex.sprj", "[Options]\r\nAddress=0x1000\r\nType=3\r\nSerial=0x1F\r\n"));
    EXPECT_EQ(form.Config().address, 4096u);
    EXPECT_EQ(form.PlaceAsSelection(), kSerialWord);
    EXPECT_EQ(form.CurrentText(), "31");

    form.OpenChosen(WriteText("partial.sprj", "[Options]\nType=1\n"));
    EXPECT_EQ(form.Config().address, 4096u);
    EXPECT_EQ(form.Config().type, 1u);
    EXPECT_EQ(form.NumberText(), ""); // Serial missing: empty, which is no serial
    EXPECT_EQ(form.NumberCheckText(), "Error. Invalid input.");

    // A type no list row names is kept; it places nothing.
    form.OpenChosen(WriteText("odd.sprj", "[Options]\nAddress=junk\nType=9\nSerial=12\n"));
    EXPECT_EQ(form.Config().address, 4096u);
    EXPECT_EQ(form.PlaceAsSelection(), -1);
    EXPECT_EQ(form.SizeText(), "Size: 0 bytes");

    form.OpenChosen(PathOf("missing.sprj"));
    EXPECT_EQ(form.Config().type, 0u);
    EXPECT_EQ(form.ConfigFileText(), PathOf("missing.sprj"));

    // Cancelled: the fields are refreshed from the configuration as it is.
    form.NumberEdited("Q5");
    form.OpenChosen(std::nullopt);
    EXPECT_EQ(form.NumberText(), "Q5");
    EXPECT_EQ(form.ConfigFileText(), PathOf("missing.sprj"));
}

TEST_F(FormTest, AFailedSaveIsReported) {
    EXPECT_TRUE(form.SaveChosen(std::nullopt));
    std::filesystem::create_directories(folder_.File("blocked"));
    // A folder where the file should be cannot be written on either system.
    EXPECT_FALSE(form.SaveChosen(PathOf("blocked")));
    EXPECT_EQ(form.FileProblemText(), "Save failed. Can't write \"" + PathOf("blocked") + "\"");
    EXPECT_TRUE(form.SaveChosen(PathOf("ok.sprj")));
    EXPECT_EQ(form.FileProblemText(), "");
}

TEST_F(FormTest, ASerialOnTheImageIsWarnedOfAndNotWritten) {
    MemoryImage image;
    image.Clear();
    image.StoreByte(0xFFFE, 0x00);
    image.StoreByte(0xFFFF, 0xF0);
    form.SetImage(&image);
    form.PlaceAsSelected(kSerialWord);
    form.NumberEdited("18");
    EXPECT_EQ(form.AddressCheckText(), "");
    form.AddressEdited("0xFFFE"); // the reset vector
    EXPECT_EQ(form.AddressCheckText(), kSerialOnImageText);
    EXPECT_FALSE(form.WriteClicked());
    EXPECT_EQ(
        form.FileProblemText(),
        "Write refused. The serial at 0xFFFE-0xFFFF would overwrite 2 bytes of the image, first at 0xFFFE.");
    EXPECT_TRUE(bus.Sent(kBusWriteSerial).empty());
    // Past the image's last cell there is nothing of the image to overwrite.
    form.AddressEdited("0x10000");
    EXPECT_EQ(form.AddressCheckText(), "");
    form.AddressEdited("0xFFFF"); // one byte on the image, one past it
    EXPECT_EQ(form.AddressCheckText(), kSerialOnImageText);
    // Beside the image it is fine again.
    form.AddressEdited("0x1000");
    EXPECT_EQ(form.AddressCheckText(), "");
    EXPECT_TRUE(form.WriteClicked());
    EXPECT_EQ(bus.Sent(kBusWriteSerial).size(), 1u);
}
