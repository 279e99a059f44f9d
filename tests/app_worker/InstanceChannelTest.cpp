#include "platform/InstanceChannel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#ifdef _WIN32
#include <windows.h>
#define PYROLA_PID GetCurrentProcessId()
#else
#include <unistd.h>
#define PYROLA_PID getpid()
#endif

namespace pyrola {
namespace {

using namespace std::chrono_literals;

class ChannelTest : public ::testing::Test {
protected:
    ChannelTest() {
        static int counter = 0;
        name_ = "pyrolatest" + std::to_string(PYROLA_PID) + "x" + std::to_string(++counter);
    }

    // Arrival of a hand-over: the POSIX listener notifies; on Windows the broadcast goes
    // to windows, so the text is simply there.
    void ListenOn(InstanceChannel& primary) {
        primary.Listen([this] {
            std::lock_guard lock(mutex_);
            ++arrivals_;
            changed_.notify_all();
        });
    }
    bool WaitForArrivals(int count) {
#ifdef _WIN32
        (void)count;
        return true;
#else
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return arrivals_ >= count; });
#endif
    }

    std::string name_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int arrivals_ = 0;
};

TEST_F(ChannelTest, SecondStartHandsItsCommandLineToTheFirst) {
    auto first = CreateInstanceChannel(name_);
    ASSERT_TRUE(first->BecomePrimary());
    ListenOn(*first);
    EXPECT_FALSE(first->TakeCommandLine().has_value());

    auto second = CreateInstanceChannel(name_);
    EXPECT_FALSE(second->BecomePrimary());
    const std::string text = "-bsl -c1 +ebpv \"C:\\my files\\prog.txt\"";
    ASSERT_EQ(second->HandOver(text), HandOverResult::Delivered);
    ASSERT_TRUE(WaitForArrivals(1));
    EXPECT_EQ(first->TakeCommandLine(), text);
    EXPECT_FALSE(first->TakeCommandLine().has_value()); // taken once

    // An empty command line still arrives (it only brings the window up).
    ASSERT_EQ(second->HandOver(std::string(kHandOverMaxText, 'a')), HandOverResult::Delivered);
    ASSERT_TRUE(WaitForArrivals(2));
    EXPECT_EQ(first->TakeCommandLine(), std::string(kHandOverMaxText, 'a'));
}

TEST_F(ChannelTest, OverlongTextIsRefusedNotCut) {
    auto first = CreateInstanceChannel(name_);
    ASSERT_TRUE(first->BecomePrimary());
    ListenOn(*first);
    auto second = CreateInstanceChannel(name_);
    ASSERT_FALSE(second->BecomePrimary());
    // Cut at 259 characters this would erase instead of programming a different file.
    std::string text = "+e " + std::string(kHandOverMaxText, 'x');
    EXPECT_EQ(second->HandOver(text), HandOverResult::TooLong);
    EXPECT_FALSE(first->TakeCommandLine().has_value());
    EXPECT_NE(std::string(HandOverResultText(HandOverResult::TooLong)).find("259"), std::string::npos);
}

TEST_F(ChannelTest, PrimaryRoleIsFreedWhenTheFirstInstanceEnds) {
    {
        auto first = CreateInstanceChannel(name_);
        ASSERT_TRUE(first->BecomePrimary());
        auto second = CreateInstanceChannel(name_);
        EXPECT_FALSE(second->BecomePrimary());
    }
    auto later = CreateInstanceChannel(name_);
    EXPECT_TRUE(later->BecomePrimary());
#ifndef _WIN32
    // Nobody listens yet: the hand-over says so instead of pretending.
    auto other = CreateInstanceChannel(name_);
    EXPECT_EQ(other->HandOver("+e"), HandOverResult::NoInstance);
#endif
}

} // namespace
} // namespace pyrola
