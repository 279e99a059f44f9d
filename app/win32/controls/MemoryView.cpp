#include "app/win32/controls/MemoryView.h"

#include <commctrl.h>
#include <string>

namespace pyrola::win32 {

namespace {

constexpr int kFontHeight = 14;
constexpr int kColumnCells = 24;
constexpr int kLeftPadding = 3;
// The text column shows bytes 128-255 as the Western Windows code page has them.
constexpr UINT kTextColumnCodePage = 1252;

COLORREF ToColorRef(const Rgb& rgb) {
    return RGB(rgb.red, rgb.green, rgb.blue);
}

int TextWidth(HDC dc, const wchar_t* text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    return size.cx;
}

void DrawCell(HDC dc, RECT& at, const std::wstring& text, const Rgb& colour, int advance) {
    SetTextColor(dc, ToColorRef(colour));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &at,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_NOCLIP);
    at.left += advance;
}

std::wstring Ascii(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring TextColumn(const std::string& bytes) {
    std::wstring wide(bytes.size(), L' ');
    if (MultiByteToWideChar(kTextColumnCodePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                            static_cast<int>(wide.size())) != static_cast<int>(bytes.size())) {
        for (size_t i = 0; i < bytes.size(); ++i)
            wide[i] = static_cast<unsigned char>(bytes[i]); // the same bytes as Latin-1
    }
    // DEL and the bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D come
    // back as control characters) would draw as empty boxes: they show as "." like 0-31.
    for (wchar_t& c : wide) {
        if (c == 0x7F || (c >= 0x80 && c <= 0x9F))
            c = L'.';
    }
    return wide;
}

} // namespace

MemoryView::~MemoryView() {
    if (font_)
        DeleteObject(font_);
}

void MemoryView::Attach(HWND list) {
    list_ = list;
    image_.Clear();
    ListView_SetExtendedListViewStyleEx(list_, LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER,
                                        LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    LOGFONTW face{};
    face.lfHeight = kFontHeight;
    face.lfWeight = FW_NORMAL;
    face.lfCharSet = DEFAULT_CHARSET;
    face.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    wcscpy(face.lfFaceName, L"Courier New");
    font_ = CreateFontIndirectW(&face);
    SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    HDC dc = GetDC(list_);
    HGDIOBJ previous = SelectObject(dc, font_);
    addressWidth_ = TextWidth(dc, L"      ");
    cellWidth_ = TextWidth(dc, L"   ");
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    rowHeight_ = metrics.tmHeight + 2;
    SelectObject(dc, previous);
    ReleaseDC(list_, dc);

    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = kColumnCells * cellWidth_;
    ListView_InsertColumn(list_, 0, &column);
    ListView_SetColumnWidth(list_, 0, column.cx);

    RECT window{}, client{};
    GetWindowRect(list_, &window);
    GetClientRect(list_, &client);
    nonClientWidth_ = (window.right - window.left) - (client.right - client.left);
}

void MemoryView::SetImage(const MemoryImage& image) {
    image_ = image;
    extent_ = MemoryViewExtentOf(image_);
    ListView_SetItemCountEx(list_, extent_.rowCount, 0);
}

void MemoryView::ScrollTo(uint32_t address) {
    if (extent_.rowCount > 0)
        ListView_EnsureVisible(list_, static_cast<int>(MemoryViewRowOf(extent_, address)), FALSE);
    InvalidateRect(list_, nullptr, TRUE);
}

void MemoryView::DrawRow(const DRAWITEMSTRUCT& item) const {
    HDC dc = item.hDC;
    RECT at = item.rcItem;
    FillRect(dc, &at, GetSysColorBrush(COLOR_WINDOW));
    if (item.itemID >= extent_.rowCount)
        return;
    const MemoryRowView row = MemoryViewRow(image_, extent_.firstAddress, item.itemID);
    HGDIOBJ previous = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    at.left += kLeftPadding;
    DrawCell(dc, at, Ascii(row.addressText), kAddressColour, addressWidth_);
    for (const MemoryCellView& cell : row.cells)
        DrawCell(dc, at, Ascii(CellText(cell.value)), cell.colour, cellWidth_);
    DrawCell(dc, at, TextColumn(row.text), kTextColumnColour, 0);
    SelectObject(dc, previous);
}

int MemoryView::RequiredWidth() const {
    // Half a cell to spare, so the text column does not touch the scroll bar.
    return kColumnCells * cellWidth_ + cellWidth_ / 2 + GetSystemMetrics(SM_CXVSCROLL) + nonClientWidth_;
}

} // namespace pyrola::win32
