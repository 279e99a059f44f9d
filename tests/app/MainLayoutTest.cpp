// The main window's resize layout.
#include "app/MainLayout.h"

#include <gtest/gtest.h>

namespace pyrola {
namespace {

MainLayoutMetrics Metrics() {
    MainLayoutMetrics m;
    m.margin = 9;
    m.gap = 5;
    m.groupGap = 14;
    m.buttonWidth = 90;
    m.buttonHeight = 23;
    m.buttonGroups = {2, 8, 2};
    m.comboWidth = 150;
    m.comboHeight = 21;
    m.infoHeight = 13;
    m.logHeight = 100;
    m.statusHeight = 22;
    m.memoryMinWidth = 600;
    m.memoryMinHeight = 180;
    return m;
}

bool Overlap(const LayoutBox& a, const LayoutBox& b) {
    return a.left < b.Right() && b.left < a.Right() && a.top < b.Bottom() && b.top < a.Bottom();
}

std::vector<LayoutBox> All(const MainLayout& l) {
    std::vector<LayoutBox> boxes{l.memory, l.combo, l.info, l.log};
    boxes.insert(boxes.end(), l.buttons.begin(), l.buttons.end());
    return boxes;
}

void ExpectTidy(const MainLayout& l, int width, int height, const MainLayoutMetrics& m) {
    const std::vector<LayoutBox> boxes = All(l);
    for (size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_GE(boxes[i].left, m.margin) << i;
        EXPECT_GE(boxes[i].top, m.margin) << i;
        EXPECT_LE(boxes[i].Right(), width - m.margin) << i;
        EXPECT_LE(boxes[i].Bottom(), height - m.statusHeight - m.margin) << i;
        EXPECT_GE(boxes[i].width, 0) << i;
        for (size_t j = i + 1; j < boxes.size(); ++j)
            EXPECT_FALSE(Overlap(boxes[i], boxes[j])) << i << " and " << j;
    }
}

TEST(MainLayout, SmallestSizeFitsEverythingWithoutOverlap) {
    const MainLayoutMetrics m = Metrics();
    const MainLayout l = LayoutMainWindow(m, 0, 0);
    EXPECT_EQ(l.minWidth, 9 + 600 + 9 + 90 + 9);
    ASSERT_EQ(l.buttons.size(), 12u);
    ExpectTidy(l, l.minWidth, l.minHeight, m);
    EXPECT_GE(l.memory.width, m.memoryMinWidth);
    EXPECT_GE(l.memory.height, m.memoryMinHeight);
    EXPECT_EQ(l.log.height, m.logHeight);
    // The button column fixes the height here: its foot is level with the device list's.
    EXPECT_EQ(l.buttons.back().Bottom(), l.combo.Bottom());
    // Groups are further apart than buttons within a group.
    EXPECT_EQ(l.buttons[1].top - l.buttons[0].Bottom(), m.gap);
    EXPECT_EQ(l.buttons[2].top - l.buttons[1].Bottom(), m.groupGap);
    EXPECT_EQ(l.buttons[10].top - l.buttons[9].Bottom(), m.groupGap);
}

TEST(MainLayout, ExtraRoomGoesToTheMemoryViewAndTheLog) {
    const MainLayoutMetrics m = Metrics();
    const MainLayout small = LayoutMainWindow(m, 0, 0);
    const int width = small.minWidth + 300, height = small.minHeight + 300;
    const MainLayout big = LayoutMainWindow(m, width, height);
    ExpectTidy(big, width, height, m);
    EXPECT_EQ(big.memory.width, small.memory.width + 300);
    EXPECT_EQ(big.log.width, small.log.width + 300);
    EXPECT_EQ(big.memory.height, small.memory.height + 200);
    EXPECT_EQ(big.log.height, small.log.height + 100);
    // Buttons keep their size and stay at the top right; the device row stays under the
    // memory view and keeps the list's width.
    EXPECT_EQ(big.buttons[0].top, small.buttons[0].top);
    EXPECT_EQ(big.buttons[0].Right(), width - m.margin);
    EXPECT_EQ(big.buttons[0].width, m.buttonWidth);
    EXPECT_EQ(big.combo.width, m.comboWidth);
    EXPECT_EQ(big.combo.top, big.memory.Bottom() + m.gap);
    EXPECT_EQ(big.info.Right(), big.memory.Right());
    EXPECT_EQ(big.log.top, big.combo.Bottom() + m.gap);
    EXPECT_EQ(big.log.Bottom(), height - m.statusHeight - m.margin);
}

TEST(MainLayout, TooSmallASizeLaysOutAsTheSmallest) {
    const MainLayoutMetrics m = Metrics();
    const MainLayout smallest = LayoutMainWindow(m, 0, 0);
    const MainLayout squeezed = LayoutMainWindow(m, 200, 100);
    EXPECT_EQ(squeezed.memory.width, smallest.memory.width);
    EXPECT_EQ(squeezed.log.top, smallest.log.top);

    // A tall button column against a short memory view, and the other way round.
    MainLayoutMetrics tall = m;
    tall.memoryMinHeight = 500;
    const MainLayout l = LayoutMainWindow(tall, 0, 0);
    ExpectTidy(l, l.minWidth, l.minHeight, tall);
    EXPECT_GE(l.memory.height, 500);
    EXPECT_LT(l.buttons.back().Bottom(), l.combo.Bottom());
}

} // namespace
} // namespace pyrola
