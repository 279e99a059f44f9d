#pragma once
// The choices of the File Format dialog, top to bottom: TI TXT, Intel HEX and Binary
// first (the dialog's long-standing three, whose buttons keep their numbers), then every
// further format the program reads, in the core's order.

#include "image/FileFormat.h"

#include <vector>

namespace pyrola {

// What the dialog checks when the preselection is none of its choices.
inline constexpr FileFormat kFallbackFileFormat = FileFormat::Binary;

const std::vector<FileFormat>& FormatDialogChoices();

} // namespace pyrola
