#pragma once
// Where a dialog opens: centred over its owner, or over the work area when there is no
// owner to centre on, then moved as little as needed to lie inside the work area.

namespace pyrola {

struct ScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// over: the owner's rectangle, or null for none (also for a hidden or minimised owner).
// Returns the dialog's rectangle of width x height.
ScreenRect CentredPlacement(const ScreenRect* over, int width, int height, const ScreenRect& workArea);

} // namespace pyrola
