#include "app/FormatChoices.h"

#include <algorithm>

namespace pyrola {

const std::vector<FileFormat>& FormatDialogChoices() {
    static const std::vector<FileFormat> choices = [] {
        std::vector<FileFormat> list{FileFormat::TiTxt, FileFormat::IntelHex, FileFormat::Binary};
        for (FileFormat format : kFileFormats) {
            if (std::find(list.begin(), list.end(), format) == list.end())
                list.push_back(format);
        }
        return list;
    }();
    return choices;
}

} // namespace pyrola
