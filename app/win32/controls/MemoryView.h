#pragma once
// The hex view: a report list view in owner-data, owner-drawn mode with one column, each
// row showing 16 bytes of a memory image (address, coloured byte cells, text column) in a
// fixed-pitch font. It paints its own copy of the image, so it never reads an image that
// something else may be changing; it knows nothing of jobs.

#include "app/MemoryViewRows.h"
#include "image/MemoryImage.h"

#include <cstdint>
#include <windows.h>

namespace pyrola::win32 {

class MemoryView {
public:
    MemoryView() = default;
    ~MemoryView();
    MemoryView(const MemoryView&) = delete;
    MemoryView& operator=(const MemoryView&) = delete;

    // Takes over the list view: grid lines, the "Courier New" font, the widths of the
    // address field and of a byte cell, the single column 24 byte cells wide.
    void Attach(HWND list);
    // From now on the view shows a copy of image, its rows starting at the low address.
    void SetImage(const MemoryImage& image);
    // Makes the row holding address visible (row 0 for an address below the first one)
    // and repaints.
    void ScrollTo(uint32_t address);
    // WM_DRAWITEM for the list: one row.
    void DrawRow(const DRAWITEMSTRUCT& item) const;

    // Width the control needs to show a whole row with its vertical scroll bar.
    int RequiredWidth() const;
    HWND Handle() const { return list_; }
    int RowHeight() const { return rowHeight_; }
    const MemoryViewExtent& Extent() const { return extent_; }

private:
    HWND list_ = nullptr;
    HFONT font_ = nullptr;
    int addressWidth_ = 0;
    int cellWidth_ = 0;
    int rowHeight_ = 16;
    int nonClientWidth_ = 0;
    MemoryImage image_;
    MemoryViewExtent extent_;
};

} // namespace pyrola::win32
