#include "image/ImageWriter.h"

#include "base/TextFormat.h"
#include "image/BinaryWriter.h"
#include "image/IntelHexWriter.h"
#include "image/TiTxtWriter.h"

namespace pyrola {

int32_t WriteImageFile(ImageFileContext& context, const std::string& path, FileFormat format) {
    context.errorText.clear();
    if (format != FileFormat::Unknown && !FileFormatWritable(format)) {
        context.errorText = Format("%s files cannot be written", FileFormatName(format));
        return 0;
    }
    switch (format) {
    case FileFormat::IntelHex:
        return WriteIntelHexFile(context, path);
    case FileFormat::TiTxt:
        return WriteTiTxtFile(context, path);
    default:
        return WriteBinaryFile(context, path);
    }
}

} // namespace pyrola
