#pragma once
// The filter of the main window's Open and Save dialogs: "All Known Files" first, then one
// entry per format with its extensions (Binary, TI TXT, Intel HEX, then the formats that
// are only read), then "All Files". Every extension the load flow recognises is listed.

#include <string>
#include <vector>

namespace pyrola {

struct FileDialogFilterEntry {
    std::string name;     // "TI TXT Files (.txt)"
    std::string patterns; // "*.txt", several joined by ";"
};

const std::vector<FileDialogFilterEntry>& FileDialogFilter();

} // namespace pyrola
