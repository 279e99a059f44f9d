#include "image/ImageReader.h"

#include "image/BinaryReader.h"
#include "image/IntelHexReader.h"
#include "image/TiTxtReader.h"

namespace pyrola {

int32_t ReadImageFile(ImageFileContext& context, const std::string& path, FileFormat format) {
    context.errorText.clear();
    context.endRecordMissing = false;
    switch (format) {
    case FileFormat::IntelHex:
        return ReadIntelHexFile(context, path);
    case FileFormat::TiTxt:
        return ReadTiTxtFile(context, path);
    default:
        return ReadBinaryFile(context, path);
    }
}

} // namespace pyrola
