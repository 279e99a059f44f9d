#pragma once
// Where the main window's controls go for a client size: the memory view fills the top
// left and takes most of the extra room, the button column hangs from the top right, the
// device list and its information line sit under the memory view level with the button
// column's foot, the log runs across the full width below them, and the status bar (placed
// by itself) sits at the bottom. Sizes are pixels.

#include <vector>

namespace pyrola {

struct LayoutBox {
    int left = 0, top = 0, width = 0, height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
};

struct MainLayoutMetrics {
    int margin = 0;   // around the edges
    int gap = 0;      // between neighbouring controls
    int groupGap = 0; // between groups of buttons
    int buttonWidth = 0, buttonHeight = 0;
    std::vector<int> buttonGroups; // how many buttons each group holds, top to bottom
    int comboWidth = 0, comboHeight = 0;
    int infoHeight = 0;
    int logHeight = 0; // at the smallest size
    int statusHeight = 0;
    int memoryMinWidth = 0, memoryMinHeight = 0;
};

struct MainLayout {
    LayoutBox memory, combo, info, log;
    std::vector<LayoutBox> buttons; // in group order
    // The smallest client size at which nothing overlaps; smaller sizes lay out as this.
    int minWidth = 0, minHeight = 0;
};

MainLayout LayoutMainWindow(const MainLayoutMetrics& metrics, int clientWidth, int clientHeight);

} // namespace pyrola
