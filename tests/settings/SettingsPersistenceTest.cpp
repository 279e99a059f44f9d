#include "settings/SettingsPersistence.h"
#include "platform/IniSettingsStore.h"
#include "platform/MemorySettingsStore.h"
#include "settings/RecentFileList.h"

#ifdef _WIN32
#include "platform/win32/SettingsStore.h"
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace pyrola {
namespace {

namespace fs = std::filesystem;

// Each test gets a fresh, empty store of the platform's real kind: a settings file in a
// private folder natively, a private registry key under Windows.
class SystemBackend : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        std::string unique =
            std::to_string(++counter) + "-" + std::to_string(reinterpret_cast<uintptr_t>(this));
#ifdef _WIN32
        keyPath_ = "Software\\Qorvane\\PyrolaTest" + unique + "\\Pyrola";
        store_ = std::make_unique<RegistrySettingsStore>();
#else
        folder_ = fs::temp_directory_path() / ("pyrola-settings-" + unique);
        fs::remove_all(folder_);
        keyPath_ = "Software\\Qorvane\\Pyrola";
        store_ = std::make_unique<IniSettingsStore>((folder_ / "sub" / "settings.ini").string());
#endif
        settings_.keyPath = keyPath_.c_str();
    }
    void TearDown() override {
#ifdef _WIN32
        std::string root = keyPath_.substr(0, keyPath_.rfind('\\'));
        RegDeleteTreeA(HKEY_CURRENT_USER, root.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, root.c_str());
#else
        fs::remove_all(folder_);
#endif
    }

    std::string keyPath_;
    fs::path folder_;
    std::unique_ptr<SettingsStore> store_;
    Settings settings_;
};

void ExpectDefaults(const Settings& s) {
    const Settings d;
    EXPECT_EQ(s.bslPort, d.bslPort);
    EXPECT_EQ(s.fetPort, d.fetPort);
    EXPECT_EQ(s.rawPort, d.rawPort);
    EXPECT_EQ(s.adapter, 1u);
    EXPECT_EQ(s.autoSteps, 27u);
    EXPECT_EQ(s.gapByte, 0xFF);
    EXPECT_EQ(s.autoDetect, 1);
    EXPECT_EQ(s.removeGap, 1);
    EXPECT_EQ(s.eraseInfo, 1);
    EXPECT_EQ(s.oneInstance, 1);
    EXPECT_EQ(s.bslPatch, 1);
    EXPECT_EQ(s.overrideDevice, 0u);
    EXPECT_EQ(s.bslSpeed, 9600u);
    EXPECT_EQ(s.bslResetInverted + s.bslTestInverted + s.bslSwapResetTest, 0);
}

TEST_F(SystemBackend, MissingKeyLeavesTheRecordUntouchedAndFirstSaveCreatesAllSixteenValues) {
    settings_.bslPort = 5;
    settings_.gapByte = 0x12;
    EXPECT_FALSE(LoadSettings(settings_, *store_));
    EXPECT_EQ(settings_.bslPort, 5u);
    EXPECT_EQ(settings_.gapByte, 0x12);

    Settings fresh;
    fresh.keyPath = keyPath_.c_str();
    ASSERT_TRUE(SaveSettings(fresh, *store_));
    ASSERT_TRUE(store_->HasKey(keyPath_));
    const char* names[] = {"BSL_PORT",     "FET_PORT",         "RAW_FET_PORT",    "Adapter",
                           "AutoProgramm", "AutoDetect",       "GapByte",         "RemoveGap",
                           "EraseInfo",    "OneInstance",      "BslPatch",        "OverrideDev",
                           "BslSpeed",     "BslResetInverted", "BslTestInverted", "BslSwapResetTest"};
    for (const char* name : names)
        EXPECT_TRUE(store_->ReadNumber(keyPath_, name).has_value()) << name;
    EXPECT_EQ(store_->ReadNumber(keyPath_, "Adapter"), 1u);
    EXPECT_EQ(store_->ReadNumber(keyPath_, "AutoProgramm"), 27u);
    EXPECT_EQ(store_->ReadNumber(keyPath_, "GapByte"), 255u);
    EXPECT_EQ(store_->ReadNumber(keyPath_, "BslSpeed"), 9600u);
    EXPECT_EQ(store_->ReadNumber(keyPath_, "BslSwapResetTest"), 0u);
}

TEST_F(SystemBackend, TheLoaderLineValuesReadBackAndAnUnknownSpeedIsTheDefault) {
    ASSERT_TRUE(store_->Write(keyPath_, {SettingsChange::Number("BslSpeed", 38400),
                                         SettingsChange::Number("BslResetInverted", 2),
                                         SettingsChange::Number("BslTestInverted", 0),
                                         SettingsChange::Number("BslSwapResetTest", 1)}));
    ASSERT_TRUE(LoadSettings(settings_, *store_));
    EXPECT_EQ(settings_.bslSpeed, 38400u);
    EXPECT_EQ(settings_.bslResetInverted, 1);
    EXPECT_EQ(settings_.bslTestInverted, 0);
    EXPECT_EQ(settings_.bslSwapResetTest, 1);
    for (uint32_t bad : {0u, 4800u, 57600u, 0xFFFFFFFFu}) {
        ASSERT_TRUE(store_->Write(keyPath_, {SettingsChange::Number("BslSpeed", bad)}));
        ASSERT_TRUE(LoadSettings(settings_, *store_));
        EXPECT_EQ(settings_.bslSpeed, 9600u) << bad;
    }
    settings_.bslSpeed = 19200;
    ASSERT_TRUE(SaveSettings(settings_, *store_));
    Settings again;
    again.keyPath = keyPath_.c_str();
    ASSERT_TRUE(LoadSettings(again, *store_));
    EXPECT_EQ(again.bslSpeed, 19200u);
    EXPECT_EQ(again.bslSwapResetTest, 1);
}

TEST_F(SystemBackend, PartialKeyTakesDefaultsAndKeepsOnlyTheLowByteOfTheGap) {
    ASSERT_TRUE(store_->Write(keyPath_, {SettingsChange::Number("GapByte", 0x1FF)}));
    settings_.adapter = 2; // must be reset to its default: the value is missing
    ASSERT_TRUE(LoadSettings(settings_, *store_));
    EXPECT_EQ(settings_.gapByte, 0xFF);
    Settings expected;
    EXPECT_EQ(settings_.adapter, expected.adapter);
    ExpectDefaults(settings_);

    ASSERT_TRUE(store_->Write(
        keyPath_, {SettingsChange::Number("GapByte", 0x1A5), SettingsChange::Number("RemoveGap", 2),
                   SettingsChange::Number("AutoDetect", 0), SettingsChange::Number("AutoProgramm", 0x2014)}));
    ASSERT_TRUE(LoadSettings(settings_, *store_));
    EXPECT_EQ(settings_.gapByte, 0xA5);
    EXPECT_EQ(settings_.removeGap, 1);
    EXPECT_EQ(settings_.autoDetect, 0);
    EXPECT_EQ(settings_.autoSteps, 0x2014u);
}

TEST_F(SystemBackend, SaveThenLoadRoundTripsEveryField) {
    Settings out;
    out.keyPath = keyPath_.c_str();
    out.bslPort = 3;
    out.fetPort = 6;
    out.rawPort = 1;
    out.adapter = 2;
    out.autoSteps = 0x2013;
    out.gapByte = 0;
    out.autoDetect = 0;
    out.removeGap = 0;
    out.eraseInfo = 0;
    out.oneInstance = 0;
    out.bslPatch = 0;
    out.overrideDevice = 17;
    ASSERT_TRUE(SaveSettings(out, *store_));
    ASSERT_TRUE(LoadSettings(settings_, *store_));
    EXPECT_EQ(settings_.bslPort, 3u);
    EXPECT_EQ(settings_.fetPort, 6u);
    EXPECT_EQ(settings_.rawPort, 1u);
    EXPECT_EQ(settings_.adapter, 2u);
    EXPECT_EQ(settings_.autoSteps, 0x2013u);
    EXPECT_EQ(settings_.gapByte, 0);
    EXPECT_EQ(settings_.autoDetect + settings_.removeGap + settings_.eraseInfo + settings_.oneInstance +
                  settings_.bslPatch,
              0);
    EXPECT_EQ(settings_.overrideDevice, 17u);
}

TEST_F(SystemBackend, RecentListKeepsCapacityAndDeletesStaleEntries) {
    RecentFileList list(keyPath_);
    for (int i = 0; i < 6; ++i)
        list.Add("C:\\data\\file" + std::to_string(i) + ".txt");
    ASSERT_TRUE(list.Write(*store_));
    std::string sub = list.KeyPath();
    EXPECT_EQ(store_->ReadNumber(sub, "DocumentCount"), 4u);
    EXPECT_EQ(store_->ReadText(sub, "Document1"), "C:\\data\\file5.txt");
    EXPECT_EQ(store_->ReadText(sub, "Document4"), "C:\\data\\file2.txt");
    EXPECT_FALSE(store_->ReadText(sub, "Document5").has_value());

    // A stale value above the count, left by an earlier run, goes with the next write.
    ASSERT_TRUE(store_->Write(sub, {SettingsChange::Text("Document9", "C:\\stale.txt")}));
    list.Remove("c:\\DATA\\file5.TXT");
    ASSERT_TRUE(list.Write(*store_));
    EXPECT_FALSE(store_->ReadText(sub, "Document9").has_value());
    EXPECT_FALSE(store_->ReadText(sub, "Document4").has_value());

    RecentFileList again(keyPath_);
    ASSERT_TRUE(again.Read(*store_));
    ASSERT_EQ(again.Entries().size(), 3u);
    EXPECT_EQ(again.Entries()[0], "C:\\data\\file4.txt");
}

// The settings file on every platform (Windows uses it when $PYROLA_SETTINGS names one).
class FileBackend : public SystemBackend {
protected:
    void SetUp() override {
        SystemBackend::SetUp();
        static int counter = 0;
        folder_ = fs::temp_directory_path() / ("pyrola-file-" + std::to_string(++counter) + "-" +
                                               std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::remove_all(folder_);
        keyPath_ = "Software\\Qorvane\\Pyrola";
        settings_.keyPath = keyPath_.c_str();
        store_ = std::make_unique<IniSettingsStore>((folder_ / "sub" / "settings.ini").string());
    }
    void TearDown() override {
        SystemBackend::TearDown();
        fs::remove_all(folder_);
    }
};

TEST_F(FileBackend, CorruptFileReadsAsAbsentAndIsKeptAsideOnTheNextSave) {
    auto* ini = static_cast<IniSettingsStore*>(store_.get());
    fs::create_directories(fs::path(ini->Path()).parent_path());
    {
        std::ofstream out(ini->Path(), std::ios::binary);
        out << "[Pyrola]\nAdapter=2\n" << std::string("\0\x01\x02garbage", 10) << "\n";
    }
    settings_.adapter = 0;
    EXPECT_FALSE(LoadSettings(settings_, *store_));
    EXPECT_EQ(settings_.adapter, 0u); // the half-understood file does not leak its values in

    ASSERT_TRUE(SaveSettings(Settings{keyPath_.c_str()}, *store_));
    EXPECT_TRUE(fs::exists(ini->Path() + ".corrupt"));
    ASSERT_TRUE(LoadSettings(settings_, *store_));
    EXPECT_EQ(settings_.adapter, 1u);
    // Nothing but the file, the kept-aside copy and the lock file: no temporary files.
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(fs::path(ini->Path()).parent_path()))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"settings.ini", "settings.ini.corrupt", "settings.ini.lock"}));
}

TEST_F(FileBackend, UnparsableNumbersAndStrayLinesAreHandledSeparately) {
    auto* ini = static_cast<IniSettingsStore*>(store_.get());
    fs::create_directories(fs::path(ini->Path()).parent_path());
    {
        std::ofstream out(ini->Path());
        out << "; hand-edited\r\n[Other]\r\nkeep=me\r\n[Pyrola]\r\nBSL_PORT = 4 \r\nFET_PORT=0x10\r\n"
               "RAW_FET_PORT=99999999999\r\nAdapter=-1\r\n";
    }
    ASSERT_TRUE(LoadSettings(settings_, *store_));
    EXPECT_EQ(settings_.bslPort, 4u);
    EXPECT_EQ(settings_.fetPort, 0u); // not decimal: default
    EXPECT_EQ(settings_.rawPort, 0u); // beyond 32 bits: default
    EXPECT_EQ(settings_.adapter, 1u);
    ASSERT_TRUE(SaveSettings(settings_, *store_));
    EXPECT_EQ(store_->ReadText("X\\Other", "keep"), "me"); // foreign sections survive a save

    {
        std::ofstream out(ini->Path());
        out << "[Pyrola]\nthis line has no equals sign\n";
    }
    EXPECT_FALSE(LoadSettings(settings_, *store_));
}

TEST_F(FileBackend, SaveFailsCleanlyWhereNoFileCanBeMade) {
    // A file where a folder would have to be.
    std::string plain = (folder_ / "plain").string();
    fs::create_directories(folder_);
    std::ofstream(plain) << "x";
    IniSettingsStore blocked(plain + "/pyrola/settings.ini");
    EXPECT_FALSE(SaveSettings(settings_, blocked));
    EXPECT_FALSE(LoadSettings(settings_, blocked));
    IniSettingsStore none("");
    EXPECT_FALSE(SaveSettings(settings_, none));
}

#ifndef _WIN32
TEST(SettingsFilePath, EnvironmentChoosesTheFile) {
    std::string saved[3];
    const char* names[] = {"PYROLA_SETTINGS", "XDG_CONFIG_HOME", "HOME"};
    for (int i = 0; i < 3; ++i)
        saved[i] = std::getenv(names[i]) ? std::getenv(names[i]) : "";
    setenv("PYROLA_SETTINGS", "/tmp/x/explicit.ini", 1);
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(DefaultSettingsFilePath(), "/tmp/x/explicit.ini");
    unsetenv("PYROLA_SETTINGS");
    EXPECT_EQ(DefaultSettingsFilePath(), "/tmp/cfg/pyrola/settings.ini");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultSettingsFilePath(), "/home/someone/.config/pyrola/settings.ini");
    for (int i = 0; i < 3; ++i) {
        if (saved[i].empty())
            unsetenv(names[i]);
        else
            setenv(names[i], saved[i].c_str(), 1);
    }
}
#endif

TEST(RecentFileList, NewestFirstIgnoringCaseWithinCapacity) {
    RecentFileList list("K");
    EXPECT_EQ(list.MenuText(0), "(empty)");
    list.Add("C:\\a.txt");
    list.Add("C:\\b.txt");
    list.Add("c:\\A.TXT");
    ASSERT_EQ(list.Entries().size(), 2u);
    EXPECT_EQ(list.Entries()[0], "c:\\A.TXT");
    EXPECT_EQ(list.MenuText(1), "&2 C:\\b.txt");
    list.Add(std::string(261, 'x'));
    list.Add("");
    EXPECT_EQ(list.Entries().size(), 2u);
    list.Add(std::string(260, 'y'));
    EXPECT_EQ(list.Entries().size(), 3u);
}

TEST(RecentFileList, StoredCountIsClampedAndEntriesBeyondItIgnored) {
    MemorySettingsStore store;
    RecentFileList list("K");
    EXPECT_FALSE(list.Read(store));
    store.Put(list.KeyPath(), "DocumentCount", 1u);
    store.Put(list.KeyPath(), "Document1", std::string("one"));
    store.Put(list.KeyPath(), "Document2", std::string("two"));
    store.Put(list.KeyPath(), "Document3", std::string("three"));
    ASSERT_TRUE(list.Read(store));
    EXPECT_EQ(list.Capacity(), 2u);
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"one", "two"}));

    store.Put(list.KeyPath(), "DocumentCount", 40u);
    ASSERT_TRUE(list.Read(store));
    EXPECT_EQ(list.Capacity(), 16u);
    EXPECT_EQ(list.Entries().size(), 3u);
    ASSERT_TRUE(list.Write(store));
    EXPECT_EQ(store.ReadNumber(list.KeyPath(), "DocumentCount"), 16u);
    EXPECT_EQ(store.ValueCount(list.KeyPath()), 4u);
}

TEST(IniDocument, RejectsMalformedTextAndRoundTrips) {
    IniDocument doc;
    EXPECT_FALSE(doc.Parse("[Open\n"));
    EXPECT_FALSE(doc.Parse("a=1\n")); // value outside any section
    EXPECT_FALSE(doc.Parse("[S]\n=1\n"));
    ASSERT_TRUE(doc.Parse("[S]\nA=1\nPath=C:\\x y\\z.txt\n\n[T]\nB= spaced \n"));
    IniDocument again;
    ASSERT_TRUE(again.Parse(doc.Serialize()));
    ASSERT_TRUE(again.HasSection("s"));
    ASSERT_NE(again.Lookup("S", "path"), nullptr);
    EXPECT_EQ(*again.Lookup("S", "path"), "C:\\x y\\z.txt");
    EXPECT_EQ(*again.Lookup("T", "B"), " spaced ");
    EXPECT_EQ(ParseDecimal32(" 4294967295 "), 4294967295u);
    EXPECT_FALSE(ParseDecimal32("4294967296").has_value());
    EXPECT_FALSE(ParseDecimal32("").has_value());
}

} // namespace
} // namespace pyrola
