#include "image/ImageReader.h"

#include "image/BinaryReader.h"
#include "image/ElfReader.h"
#include "image/IntelHexReader.h"
#include "image/SRecordReader.h"
#include "image/TiTxtReader.h"

namespace pyrola {

FileFormat EffectiveFileFormat(const std::string& path, FileFormat format) {
    return format != FileFormat::Elf && StartsWithElfMagic(path) ? FileFormat::Elf : format;
}

namespace {

int32_t ReadInFormat(ImageFileContext& context, const std::string& path, FileFormat format) {
    switch (format) {
    case FileFormat::IntelHex:
        return ReadIntelHexFile(context, path);
    case FileFormat::TiTxt:
        return ReadTiTxtFile(context, path);
    case FileFormat::Elf:
        return ReadElfFile(context, path);
    case FileFormat::SRecord:
        return ReadSRecordFile(context, path);
    default:
        return ReadBinaryFile(context, path);
    }
}

} // namespace

int32_t ReadImageFile(ImageFileContext& context, const std::string& path, FileFormat format) {
    context.errorText.clear();
    context.endRecordMissing = false;
    context.overlap = {};
    context.takenText.clear();
    context.parts.clear();
    const int32_t count = ReadInFormat(context, path, EffectiveFileFormat(path, format));
    // A one-byte patch is an image too, though its span (Size) is 0.
    if (count == 0 && context.errorText.empty() && !context.image->IsEmpty())
        return 1;
    return count;
}

} // namespace pyrola
