#include "app/MainLayout.h"

#include <algorithm>

namespace pyrola {

namespace {

int ButtonColumnHeight(const MainLayoutMetrics& m) {
    int height = 0;
    int groups = 0;
    for (int count : m.buttonGroups) {
        if (count <= 0)
            continue;
        height += count * m.buttonHeight + (count - 1) * m.gap;
        ++groups;
    }
    return height + std::max(0, groups - 1) * m.groupGap;
}

} // namespace

MainLayout LayoutMainWindow(const MainLayoutMetrics& m, int clientWidth, int clientHeight) {
    MainLayout layout;
    const int topRegionMin = std::max(ButtonColumnHeight(m), m.memoryMinHeight + m.gap + m.comboHeight);
    layout.minWidth = m.margin + m.memoryMinWidth + m.margin + m.buttonWidth + m.margin;
    layout.minHeight = m.margin + topRegionMin + m.gap + m.logHeight + m.margin + m.statusHeight;
    const int width = std::max(clientWidth, layout.minWidth);
    const int height = std::max(clientHeight, layout.minHeight);

    // The log takes a third of the height beyond the smallest size, the memory view the rest.
    const int logHeight = m.logHeight + (height - layout.minHeight) / 3;
    const int logTop = height - m.statusHeight - m.margin - logHeight;
    layout.log = {m.margin, logTop, width - 2 * m.margin, logHeight};

    const int buttonLeft = width - m.margin - m.buttonWidth;
    const int leftWidth = buttonLeft - 2 * m.margin;
    const int comboTop = logTop - m.gap - m.comboHeight;
    layout.memory = {m.margin, m.margin, leftWidth, comboTop - m.gap - m.margin};
    const int comboWidth = std::min(m.comboWidth, leftWidth);
    layout.combo = {m.margin, comboTop, comboWidth, m.comboHeight};
    const int infoLeft = layout.combo.Right() + 2 * m.gap;
    layout.info = {infoLeft, comboTop + (m.comboHeight - m.infoHeight) / 2,
                   std::max(0, m.margin + leftWidth - infoLeft), m.infoHeight};

    int top = m.margin;
    for (int count : m.buttonGroups) {
        if (count <= 0)
            continue;
        if (top != m.margin)
            top += m.groupGap - m.gap;
        for (int i = 0; i < count; ++i) {
            layout.buttons.push_back({buttonLeft, top, m.buttonWidth, m.buttonHeight});
            top += m.buttonHeight + m.gap;
        }
    }
    return layout;
}

} // namespace pyrola
