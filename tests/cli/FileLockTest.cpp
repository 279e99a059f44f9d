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
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
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
    // The lock file stays for the next holder: removing it could let a waiter of the
    // other build lock a file nobody else sees.
    EXPECT_TRUE(std::filesystem::exists(path));
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
}

#ifndef _WIN32
// The lock is the fcntl record lock that Wine makes of a Windows program's LockFileEx and
// that network file systems carry: a classic process lock taken by another process (here
// a forked child, as the Wine server would hold it) keeps the lock from us until released.
TEST(FileLock, ExcludesAClassicRecordLockOfAnotherProcess) {
    TempDir folder;
    const std::string path = folder.File("x.lock");
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
        struct flock range {};
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
        range.l_start = 0;
        range.l_len = 0; // what Wine sets for LockFileEx(0, MAXDWORD, MAXDWORD)
        const char ok = (fd >= 0 && fcntl(fd, F_SETLK, &range) == 0) ? 1 : 0;
        (void)!write(ready[1], &ok, 1);
        char go;
        (void)!read(release[0], &go, 1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);
    {
        FileLock blocked(path, 20);
        EXPECT_FALSE(blocked.Held());
    }
    const char go = 1;
    ASSERT_EQ(write(release[1], &go, 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    FileLock free(path, 0);
    EXPECT_TRUE(free.Held());
}
#endif

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
