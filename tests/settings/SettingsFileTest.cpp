// The settings file as programs share it: one read per load and one write per save
// whatever its size, hand-made content and permissions kept, read-only files and FIFOs
// left alone, and saves from several stores at once all kept.

#include "platform/IniSettingsStore.h"
#include "settings/RecentFileList.h"
#include "settings/SettingsPersistence.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pyrola {
namespace {

namespace fs = std::filesystem;

const char* const kKey = "Software\\Qorvane\\Pyrola";

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() / ("pyrola-settingsfile-" + std::to_string(std::random_device{}()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        path_ = (folder_ / "settings.ini").string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder_, ignored);
    }
    void Put(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string Text() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder_;
    std::string path_;
};

TEST_F(SettingsFile, ALargeFileIsReadOncePerLoadAndWrittenOncePerSave) {
    std::string text = "[Pyrola]\nAdapter=2\nGapByte=17\n";
    for (int i = 0; i < 10000; ++i)
        text += "Extra" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    text += "\n[Recent Document List]\nDocumentCount=4\nDocument1=C:\\a.txt\n";
    for (int i = 0; i < 10000; ++i)
        text += "Other" + std::to_string(i) + "=x\n";
    Put(text);

    IniSettingsStore store(path_);
    Settings settings;
    RecentFileList recent(kKey);
    ASSERT_TRUE(recent.Read(store));
    ASSERT_TRUE(LoadSettings(settings, store));
    EXPECT_EQ(settings.adapter, 2u);
    EXPECT_EQ(settings.gapByte, 17);
    ASSERT_EQ(recent.Entries().size(), 1u);
    EXPECT_EQ(store.FileReads(), 1u);
    // Loading again from an unchanged file needs no read at all.
    ASSERT_TRUE(LoadSettings(settings, store));
    EXPECT_EQ(store.FileReads(), 1u);

    settings.bslPort = 5;
    ASSERT_TRUE(SaveSettings(settings, store));
    recent.Add("C:\\b.txt");
    ASSERT_TRUE(recent.Write(store));
    EXPECT_EQ(store.FileWrites(), 2u);
    EXPECT_EQ(store.FileReads(), 3u); // one fresh read under the lock per save

    // Everything else in the file is still there, in its place.
    const std::string saved = Text();
    EXPECT_NE(saved.find("Extra9999=9999\nBSL_PORT=5\n"), std::string::npos);
    EXPECT_NE(saved.find("Other9999=x\n"), std::string::npos);
    IniSettingsStore other(path_);
    EXPECT_EQ(other.ReadNumber(kKey, "Extra5000"), 5000u);
    EXPECT_EQ(other.ReadText(recent.KeyPath(), "Document1"), "C:\\b.txt");
    EXPECT_EQ(other.ReadText(recent.KeyPath(), "Document2"), "C:\\a.txt");
}

TEST_F(SettingsFile, AChangeByAnotherProgramIsSeenByTheNextRead) {
    IniSettingsStore reader(path_);
    IniSettingsStore writer(path_);
    ASSERT_TRUE(writer.Write(kKey, {SettingsChange::Number("Adapter", 0)}));
    EXPECT_EQ(reader.ReadNumber(kKey, "Adapter"), 0u);
    // The same size and, on coarse clocks, the same time: still a new file.
    ASSERT_TRUE(writer.Write(kKey, {SettingsChange::Number("Adapter", 2)}));
    EXPECT_EQ(reader.ReadNumber(kKey, "Adapter"), 2u);
    fs::remove(path_);
    EXPECT_FALSE(reader.HasKey(kKey));
    EXPECT_FALSE(reader.ReadNumber(kKey, "Adapter").has_value());
}

TEST_F(SettingsFile, CommentsSpellingAndLineEndsSurviveASave) {
    Put("; written by hand\r\n# keep this too\r\n[Pyrola]\r\n; port of the loader\r\nBSL_PORT = 4 \r\n"
        "adapter=1\r\n\r\n; next section\r\n[Other]\r\nkeep=me\r\n");
    IniSettingsStore store(path_);
    Settings settings;
    ASSERT_TRUE(LoadSettings(settings, store));
    settings.adapter = 2;
    ASSERT_TRUE(SaveSettings(settings, store));
    const std::string saved = Text();
    // Changed lines keep their names' spelling; new values follow the section's last
    // value, before the comment that belongs to the next section.
    EXPECT_EQ(saved.substr(0, saved.find("FET_PORT")),
              "; written by hand\r\n# keep this too\r\n[Pyrola]\r\n; port of the loader\r\nBSL_PORT=4\r\n"
              "adapter=2\r\n");
    EXPECT_NE(saved.find("BslSwapResetTest=0\r\n\r\n; next section\r\n[Other]\r\nkeep=me\r\n"),
              std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("\n\n"), std::string::npos); // no lone LF crept in
}

TEST_F(SettingsFile, RemovedValuesGoWithEveryCopyOfTheirLine) {
    Put("[Recent Document List]\nDocument5=old\nDocument5=older\nDocumentCount=4\n");
    IniSettingsStore store(path_);
    ASSERT_TRUE(store.Write("X\\Recent Document List", {SettingsChange::Delete("document5")}));
    EXPECT_EQ(Text(), "[Recent Document List]\nDocumentCount=4\n");
    // A write of nothing but removals still leaves the key in place.
    ASSERT_TRUE(store.Write("X\\Empty", {SettingsChange::Delete("nothing")}));
    EXPECT_TRUE(store.HasKey("X\\Empty"));
}

TEST_F(SettingsFile, AReadOnlyFileIsLeftAloneAndTheSaveFails) {
    const std::string original = "; mine\n[Pyrola]\nAdapter=0\n";
    Put(original);
    fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read, fs::perm_options::replace);
    IniSettingsStore store(path_);
    Settings settings;
    ASSERT_TRUE(LoadSettings(settings, store));
    EXPECT_EQ(settings.adapter, 0u);
    settings.adapter = 2;
    EXPECT_FALSE(SaveSettings(settings, store));
    EXPECT_EQ(Text(), original);
    const fs::perms writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    EXPECT_EQ(fs::status(path_).permissions() & writable, fs::perms::none);
    // Nothing beside it either: no temporary file, no kept-aside copy, no lock file.
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"settings.ini"}));
}

#ifndef _WIN32
TEST_F(SettingsFile, TheFileModeAndALinkToTheFileSurviveASave) {
    Put("[Pyrola]\nAdapter=0\n");
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    IniSettingsStore store(path_);
    ASSERT_TRUE(store.Write(kKey, {SettingsChange::Number("Adapter", 1)}));
    struct stat info {};
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    // A settings file kept elsewhere and linked to stays a link to the updated file.
    const std::string link = (folder_ / "linked.ini").string();
    ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
    IniSettingsStore linked(link);
    ASSERT_TRUE(linked.Write(kKey, {SettingsChange::Number("Adapter", 2)}));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(IniSettingsStore(path_).ReadNumber(kKey, "Adapter"), 2u);
}

TEST_F(SettingsFile, AFifoInPlaceOfTheFileIsNeitherWaitedOnNorReplaced) {
    ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
    std::future<bool> loaded = std::async(std::launch::async, [this] {
        IniSettingsStore store(path_);
        Settings settings;
        return LoadSettings(settings, store) || SaveSettings(settings, store);
    });
    if (loaded.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK); // release the waiting reader
        if (fd >= 0)
            ::close(fd);
        ADD_FAILURE() << "the settings store waited on a FIFO";
    }
    EXPECT_FALSE(loaded.get());
    EXPECT_TRUE(fs::is_fifo(path_));
}
#endif

TEST_F(SettingsFile, StoresSavingAtTheSameTimeKeepEveryValue) {
    // Each store stands for a program of its own: its own object, its own file handles.
    constexpr int kWriters = 4;
    constexpr int kRounds = 25;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([this, w] {
            IniSettingsStore store(path_);
            for (int round = 0; round < kRounds; ++round) {
                const std::string key = std::string(kKey) + (w % 2 ? "" : "\\Recent Document List");
                store.Write(key,
                            {SettingsChange::Number("W" + std::to_string(w) + "R" + std::to_string(round),
                                                    static_cast<uint32_t>(round))});
            }
        });
    }
    for (std::thread& t : writers)
        t.join();
    IniSettingsStore store(path_);
    int found = 0;
    for (int w = 0; w < kWriters; ++w) {
        const std::string key = std::string(kKey) + (w % 2 ? "" : "\\Recent Document List");
        for (int round = 0; round < kRounds; ++round)
            found += store.ReadNumber(key, "W" + std::to_string(w) + "R" + std::to_string(round)) ==
                     static_cast<uint32_t>(round);
    }
    EXPECT_EQ(found, kWriters * kRounds);
    // No temporary file left; the lock file stays for the next save.
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"settings.ini", "settings.ini.lock"}));
}

} // namespace
} // namespace pyrola
