// The platform's lock between programs and its append-only writes, on which the serial
// reservation and the production log rely. Two lock objects exclude each other as two
// programs do (the end-to-end tests run real programs against each other).
#include "platform/FileLock.h"
#include "platform/AppendFile.h"
#include "platform/AtomicFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <thread>
#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif
#include <vector>

using namespace pyrola;
using namespace pyrola::test;

TEST(FileLock, OneHolderAtATime) {
    TempDir folder;
    const std::string path = folder.File("x.lock");
    {
        FileLock first(path, 0);
        ASSERT_TRUE(first.Held());
        FileLock second(path, 0); // gives up at once
        EXPECT_FALSE(second.Held());
        EXPECT_TRUE(std::filesystem::exists(path)); // the loser leaves the holder's file alone
    }
    // The last holder takes its lock file along.
    EXPECT_FALSE(std::filesystem::exists(path));
    FileLock again(path, 0);
    EXPECT_TRUE(again.Held());
    // A lock file that cannot be created is no lock.
    FileLock nowhere(folder.File("missing-folder/x.lock"), 0);
    EXPECT_FALSE(nowhere.Held());
}

TEST(FileLock, ReadModifyWriteUnderTheLockLosesNoUpdate) {
    TempDir folder;
    const std::string counter = folder.Write("count.txt", "0");
    constexpr int kThreads = 4, kRounds = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                FileLock lock(counter + ".lock");
                ASSERT_TRUE(lock.Held());
                std::string text;
                ASSERT_TRUE(ReadWholeFile(counter, text));
                ASSERT_TRUE(ReplaceFileAtomically(counter, std::to_string(std::stoi(text) + 1)));
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(folder.Read("count.txt"), std::to_string(kThreads * kRounds));
    // Holders removing the file while others wait on it still exclude each other, and
    // nothing is left behind.
    EXPECT_FALSE(std::filesystem::exists(counter + ".lock"));
}

TEST(AppendFile, HeaderOnceThenRecordsAtTheEnd) {
    TempDir folder;
    const std::string path = folder.File("log.csv");
    ASSERT_TRUE(AppendToFile(path, "H\n", "")); // a check that creates the file with its header
    EXPECT_EQ(folder.Read("log.csv"), "H\n");
    ASSERT_TRUE(AppendToFile(path, "H\n", "a\n"));
    ASSERT_TRUE(AppendToFile(path, "H\n", ""));
    ASSERT_TRUE(AppendToFile(path, "H\n", "b\n"));
    EXPECT_EQ(folder.Read("log.csv"), "H\na\nb\n");
    // A file that exists without the header keeps its contents; records follow.
    folder.Write("old.csv", "x\n");
    ASSERT_TRUE(AppendToFile(folder.File("old.csv"), "H\n", "y\n"));
    EXPECT_EQ(folder.Read("old.csv"), "x\ny\n");
    EXPECT_FALSE(AppendToFile(folder.File("no-folder/log.csv"), "H\n", "a\n"));
    std::filesystem::create_directories(folder.File("dir"));
    EXPECT_FALSE(AppendToFile(folder.File("dir"), "H\n", "a\n"));
}

#ifndef _WIN32
// A write that stops short (here at the process's file-size limit, as at a full disk)
// leaves no part record behind for the next one to be glued to.
TEST(AppendFile, AShortWriteIsTakenBack) {
    TempDir folder;
    const std::string path = folder.Write("log.csv", "H\nwhole line\n");
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 20; // 13 bytes there: 7 more fit, the record does not
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string why;
    const bool appended = AppendToFile(path, "H\n", "a record longer than the room left\n", &why);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(appended);
    EXPECT_NE(why.find("the part written was taken back"), std::string::npos) << why;
    EXPECT_EQ(folder.Read("log.csv"), "H\nwhole line\n");
    ASSERT_TRUE(AppendToFile(path, "H\n", "next\n"));
    EXPECT_EQ(folder.Read("log.csv"), "H\nwhole line\nnext\n");
}
#endif
