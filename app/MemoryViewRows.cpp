#include "app/MemoryViewRows.h"

#include "base/TextFormat.h"

namespace pyrola {

MemoryViewExtent MemoryViewExtentOf(const MemoryImage& image) {
    if (image.Low() >= image.High())
        return {};
    return {(image.High() - image.Low() + 1 + kMemoryRowBytes - 1) / kMemoryRowBytes, image.Low()};
}

uint32_t MemoryViewRowOf(const MemoryViewExtent& extent, uint32_t address) {
    return address > extent.firstAddress ? (address - extent.firstAddress) / kMemoryRowBytes : 0;
}

Rgb CellColour(ImageCell cell) {
    if (cell & CellError)
        return kErrorCellColour;
    if (cell & CellAbsent)
        return kAbsentCellColour;
    if (cell & CellVerified)
        return kVerifiedCellColour;
    return kPlainCellColour;
}

char CellCharacter(uint8_t value) {
    return value < 32 ? '.' : static_cast<char>(value);
}

std::string CellText(uint8_t value) {
    return Format("%02X ", value);
}

MemoryRowView MemoryViewRow(const MemoryImage& image, uint32_t firstAddress, uint32_t row) {
    MemoryRowView view;
    view.address = firstAddress + kMemoryRowBytes * row;
    view.addressText = Format("%04X  ", view.address);
    view.text.assign(1 + kMemoryRowBytes, ' ');
    for (uint32_t i = 0; i < kMemoryRowBytes; ++i) {
        const ImageCell cell = image.CellAt(view.address + i);
        const uint8_t value = static_cast<uint8_t>(cell & CellValueMask);
        view.cells[i] = {value, CellColour(cell)};
        view.text[1 + i] = CellCharacter(value);
    }
    return view;
}

} // namespace pyrola
