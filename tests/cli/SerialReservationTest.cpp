// The headless program's serial numbers: a ".sprj" file read strictly, one number taken
// per board with the next stored first, never one number twice.
#include "cli/SerialReservation.h"
#include "adapters/DeviceTable.h"
#include "platform/FileFacts.h"
#include "platform/FileLock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

using namespace pyrola;
using namespace pyrola::cli;
using namespace pyrola::test;

namespace {

constexpr const char* kDefaults = "; line 3\r\n[Options]\r\nAddress=4096\r\nType=0\r\nSerial=TEST00001M2\r\n";

DeviceRecord Device(uint32_t index = 3) {
    DeviceRecord device;
    FillDeviceRecord(index, &device);
    return device;
}

std::string Text(const SerialBlock& block) {
    return std::string(block.bytes.begin(), block.bytes.end());
}

} // namespace

TEST(SerialReservation, LoadComposesTheCurrentSerial) {
    TempDir folder;
    SerialReservation reservation(folder.Write("unit.sprj", kDefaults));
    SerialBlock block;
    ASSERT_EQ(reservation.Load(block), "");
    EXPECT_EQ(block.address, 0x1000u);
    EXPECT_EQ(Text(block), std::string("TEST00001M2\0", 12));
    EXPECT_EQ(reservation.Config().serial, "TEST00001M2");
    EXPECT_FALSE(reservation.Reserved());
}

TEST(SerialReservation, BadFilesAreRefusedWithTheirReason) {
    TempDir folder;
    const struct {
        const char* text;
        const char* problem;
    } cases[] = {
        {"[Options]\nAddress=12x\nSerial=A1\n", "Invalid Address '12x'"},
        {"[Options]\nAddress=-4096\nSerial=A1\n", "Invalid Address '-4096'"},
        {"[Options]\nType=5\nSerial=A1\n", "Invalid Type '5' (0 char *, 1 char[], 2 BYTE, 3 WORD, 4 DWORD)"},
        {"[Options]\nAddress=4096\n", "No Serial"},
        {"[Other]\nSerial=A1\n", "No Serial"},
        {"[Options]\nSerial=ABC\n", "Invalid Serial 'ABC'"},
        {"[Options]\nSerial=SN99999999999\n", "Serial 'SN99999999999' is beyond the last number 2147483646"},
        {"[Options]\nType=4\nSerial=-1\n", "Serial '-1' is not a whole number"},
        {"[Options]\nType=2\nSerial=256\n", "Serial '256' does not fit the type BYTE"},
        {"[Options]\nAddress=0x0200\nSerial=A1\n",
         "Address 0x200 is not in the flash memory of any known device"},
        {"[Options]\nAddress=0x107A\nSerial=TEST00001M2\n",
         "A serial of 12 bytes at 0x107A does not fit its flash segment"},
        {"[Options]\nSerial=A1\nserial=A7\n", "serial= stands twice in [Options]: keep one"},
        {"[Options]\nSerial=A1\n[Other]\nSerial=B1\n[options]\nSerial=A7\n",
         "Serial= stands twice in [Options]: keep one"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        SerialReservation reservation(folder.Write("bad.sprj", c.text));
        SerialBlock block;
        EXPECT_EQ(reservation.Load(block), std::string("Serial config \"bad.sprj\": ") + c.problem);
    }
    SerialReservation missing(folder.File("missing.sprj"));
    SerialBlock block;
    EXPECT_EQ(missing.Load(block), "Serial config \"missing.sprj\": can't read the file");
    // A serial that fills its segment to the end is fine; hexadecimal addresses too.
    SerialReservation edge(folder.Write("edge.sprj", "[Options]\nAddress=0x1074\nSerial=TEST00001M2\n"));
    EXPECT_EQ(edge.Load(block), "");
}

TEST(SerialReservation, TheNextNumberIsStoredBeforeTheBoardGetsItsOwn) {
    TempDir folder;
    const std::string path = folder.Write("unit.sprj", kDefaults);
    SerialReservation reservation(path);
    SerialBlock block;
    ASSERT_EQ(reservation.Load(block), "");
    block.bytes.clear();
    const SerialWritePreparation prepared = reservation.Reserve(Device(), block);
    ASSERT_TRUE(prepared.ok) << prepared.note;
    EXPECT_EQ(prepared.note,
              "Serial number TEST00001M2 reserved (TEST00002M2 stored as the next in \"unit.sprj\")");
    EXPECT_EQ(Text(block), std::string("TEST00001M2\0", 12));
    EXPECT_EQ(reservation.Reserved(), "TEST00001M2");
    // Only the Serial line changed; the comment and the line ends stay.
    EXPECT_EQ(folder.Read("unit.sprj"),
              "; line 3\r\n[Options]\r\nAddress=4096\r\nType=0\r\nSerial=TEST00002M2\r\n");
    ASSERT_TRUE(reservation.Reserve(Device(), block).ok);
    EXPECT_EQ(Text(block), std::string("TEST00002M2\0", 12));
}

TEST(SerialReservation, NumericTypesDoNotWrapIntoNumbersGivenBefore) {
    TempDir folder;
    const std::string path = folder.Write("byte.sprj", "[Options]\nAddress=0x1000\nType=2\nSerial=254\n");
    SerialReservation reservation(path);
    SerialBlock block;
    ASSERT_EQ(reservation.Load(block), "");
    ASSERT_TRUE(reservation.Reserve(Device(), block).ok);
    EXPECT_EQ(block.bytes, (std::vector<uint8_t>{0xFE}));
    EXPECT_NE(folder.Read("byte.sprj").find("Serial=255"), std::string::npos);
    // 255 is what an erased chip reads back: it is never handed out.
    const SerialWritePreparation exhausted = reservation.Reserve(Device(), block);
    EXPECT_FALSE(exhausted.ok);
    EXPECT_EQ(exhausted.note,
              "Serial config \"byte.sprj\": Serial '255' reads the same as an erased chip (all "
              "bytes 0xFF); no number was taken");
}

TEST(SerialReservation, NothingIsTakenWhenTheBoardCannotHaveIt) {
    TempDir folder;
    const std::string path = folder.Write("unit.sprj", kDefaults);
    SerialReservation reservation(path);
    SerialBlock block;
    ASSERT_EQ(reservation.Load(block), "");
    // A part whose information memory lies elsewhere.
    uint32_t other = 0;
    for (uint32_t i = 1; i < kDeviceCount && other == 0; ++i) {
        if (DeviceBounds(i).infoStart != 0x1000)
            other = i;
    }
    ASSERT_NE(other, 0u);
    SerialWritePreparation prepared = reservation.Reserve(Device(other), block);
    EXPECT_FALSE(prepared.ok);
    EXPECT_NE(prepared.note.find("does not fit the flash of"), std::string::npos) << prepared.note;
    EXPECT_EQ(folder.Read("unit.sprj"), kDefaults);

    // The file was changed during the run: another address, or no longer a valid serial.
    folder.Write("unit.sprj", "[Options]\nAddress=0x1040\nSerial=TEST00001M2\n");
    prepared = reservation.Reserve(Device(), block);
    EXPECT_FALSE(prepared.ok);
    EXPECT_EQ(prepared.note, "Serial config \"unit.sprj\": its Address changed to 0x1040 during the run; no "
                             "number was taken");
    folder.Write("unit.sprj", "[Options]\nSerial=none\n");
    EXPECT_FALSE(reservation.Reserve(Device(), block).ok);
    std::filesystem::remove(path);
    prepared = reservation.Reserve(Device(), block);
    EXPECT_EQ(prepared.note, "Serial config \"unit.sprj\": can't read the file; no number was taken");
    EXPECT_FALSE(reservation.Reserved());
}

TEST(SerialReservation, ReservationsAtOnceNeverShareANumber) {
    TempDir folder;
    const std::string path = folder.Write("unit.sprj", kDefaults);
    constexpr int kWriters = 4, kEach = 10;
    std::vector<std::vector<std::string>> taken(kWriters);
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < kEach; ++i) {
                SerialReservation reservation(path);
                SerialBlock block;
                ASSERT_EQ(reservation.Load(block), "");
                ASSERT_TRUE(reservation.Reserve(Device(), block).ok);
                taken[w].push_back(*reservation.Reserved());
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    std::set<std::string> all;
    for (const auto& list : taken)
        all.insert(list.begin(), list.end());
    EXPECT_EQ(all.size(), size_t(kWriters * kEach));
    EXPECT_EQ(*all.begin(), "TEST00001M2");
    EXPECT_EQ(*all.rbegin(), "TEST00040M2");
    EXPECT_NE(folder.Read("unit.sprj").find("Serial=TEST00041M2"), std::string::npos);
}

TEST(SerialReservation, TextFormsBeyondTheProfileRulesAreReadAndKept) {
    TempDir folder;
    // A byte-order mark and CR-only line ends (as some editors save): read, and kept on write.
    const std::string path =
        folder.Write("unit.sprj", "\xEF\xBB\xBF[Options]\rAddress=0x1000\rType=3\rSerial=18\r");
    SerialReservation reservation(path);
    SerialBlock block;
    ASSERT_EQ(reservation.Load(block, true), "");
    EXPECT_EQ(block.bytes, (std::vector<uint8_t>{18, 0}));
    ASSERT_TRUE(reservation.Reserve(Device(), block).ok);
    EXPECT_EQ(folder.Read("unit.sprj"), "\xEF\xBB\xBF[Options]\rAddress=0x1000\rType=3\rSerial=19\r");
    // A number given in hexadecimal is taken, shown and logged in decimal.
    folder.Write("hex.sprj", "[Options]\nType=3\nSerial=0x1F\n");
    SerialReservation hex(folder.File("hex.sprj"));
    ASSERT_EQ(hex.Load(block, true), "");
    ASSERT_TRUE(hex.Reserve(Device(), block).ok);
    EXPECT_EQ(hex.Reserved(), "31");
    EXPECT_EQ(block.bytes, (std::vector<uint8_t>{31, 0}));
    EXPECT_EQ(folder.Read("hex.sprj"), "[Options]\nType=3\nSerial=32\n");
    // A last line without its line end may have been cut inside the number.
    folder.Write("cut.sprj", "[Options]\r\nType=3\r\nSerial=1");
    SerialReservation cut(folder.File("cut.sprj"));
    EXPECT_EQ(cut.Load(block),
              "Serial config \"cut.sprj\": the file ends inside a line (it may be cut short)");
}

#ifndef _WIN32
TEST(SerialReservation, OneFileByAnyPathOneLockAndNoHardLinks) {
    TempDir folder;
    const std::string path = folder.Write("unit.sprj", kDefaults);
    std::filesystem::create_symlink(path, folder.File("link.sprj"));
    // Both names lock the one file: a reservation through the link waits for the plain path.
    {
        FileLock held(LockPathFor(path), 0);
        ASSERT_TRUE(held.Held());
        FileLock viaLink(LockPathFor(folder.File("link.sprj")), 0);
        EXPECT_FALSE(viaLink.Held());
    }
    SerialReservation viaLink(folder.File("link.sprj"));
    SerialBlock block;
    ASSERT_EQ(viaLink.Load(block, true), "");
    ASSERT_TRUE(viaLink.Reserve(Device(), block).ok);
    EXPECT_TRUE(std::filesystem::is_symlink(folder.File("link.sprj")));
    EXPECT_NE(folder.Read("unit.sprj").find("Serial=TEST00002M2"), std::string::npos);

    // A second hard link would be parted by the replacement: refused with the reason.
    std::filesystem::create_hard_link(path, folder.File("hard.sprj"));
    SerialReservation viaHard(folder.File("hard.sprj"));
    EXPECT_EQ(
        viaHard.Load(block, true),
        "Serial config \"hard.sprj\": the file has 2 hard links; replacing it would part them and hand out "
        "numbers twice (give each line its own copy, or use a symbolic link)");
    EXPECT_FALSE(viaLink.Reserve(Device(), block).ok);
    std::filesystem::remove(folder.File("hard.sprj"));

    // A file that may not be written is refused before the run, not at the serial step.
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    SerialReservation readOnly(path);
    EXPECT_EQ(readOnly.Load(block, true),
              "Serial config \"unit.sprj\": the file may not be written, so no next number could be stored");
    EXPECT_EQ(readOnly.Load(block, false), ""); // reading its number is fine
}
#endif

TEST(SerialReservation, ANumberTheLogCannotRecordIsNotWritten) {
    TempDir folder;
    const std::string path = folder.Write("unit.sprj", kDefaults);
    SerialReservation reservation(path);
    std::string recorded;
    reservation.recordReservation = [&](const std::string& serial, const DeviceRecord& device) {
        recorded = serial + " " + device.name;
        return std::string("No space left on device");
    };
    SerialBlock block;
    ASSERT_EQ(reservation.Load(block, true), "");
    const SerialWritePreparation prepared = reservation.Reserve(Device(), block);
    EXPECT_FALSE(prepared.ok);
    EXPECT_EQ(prepared.note,
              "Serial config \"unit.sprj\": the log could not record TEST00001M2 (No space left on "
              "device); no number was taken");
    EXPECT_EQ(recorded, std::string("TEST00001M2 ") + Device().name);
    // Never taken unrecorded: the file still hands out this number.
    EXPECT_NE(folder.Read("unit.sprj").find("Serial=TEST00001M2"), std::string::npos);
    EXPECT_FALSE(reservation.Reserved());
}

TEST(SerialReservation, ANumberThatGrewOntoTheImageIsNotTaken) {
    TempDir folder;
    // 99 steps to 100: the serial that fitted beside the image at Load now reaches it.
    const std::string path = folder.Write("unit.sprj", "[Options]\r\nAddress=0x1000\r\nSerial=SN99\r\n");
    SerialReservation reservation(path);
    SerialBlock block;
    ASSERT_EQ(reservation.Load(block, true), "");
    folder.Write("unit.sprj", "[Options]\r\nAddress=0x1000\r\nSerial=SN100\r\n");
    reservation.acceptSerial = [](const SerialBlock& serial) {
        return serial.bytes.size() > 5 ? std::string("on the image") : std::string();
    };
    const SerialWritePreparation prepared = reservation.Reserve(Device(), block);
    EXPECT_FALSE(prepared.ok);
    EXPECT_EQ(prepared.note, "Serial config \"unit.sprj\": on the image; no number was taken");
    EXPECT_NE(folder.Read("unit.sprj").find("Serial=SN100\r"), std::string::npos);
}
