#include "app/WindowPlacement.h"

#include <algorithm>

namespace pyrola {

ScreenRect CentredPlacement(const ScreenRect* over, int width, int height, const ScreenRect& workArea) {
    const ScreenRect& centre = over ? *over : workArea;
    int left = centre.left + (centre.Width() - width) / 2;
    int top = centre.top + (centre.Height() - height) / 2;
    // Inside the work area; a dialog larger than it keeps its top left corner visible.
    left = std::max(workArea.left, std::min(left, workArea.right - width));
    top = std::max(workArea.top, std::min(top, workArea.bottom - height));
    return {left, top, left + width, top + height};
}

} // namespace pyrola
