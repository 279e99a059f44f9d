#include "image/FileFlow.h"

#include "base/TextFormat.h"
#include "image/FilePath.h"
#include "image/GapRemoval.h"
#include "image/ImageFileContext.h"
#include "image/ImageReader.h"
#include "image/ImageWriter.h"

namespace pyrola {

namespace {

constexpr const char* kTextPathTooLong = "Path longer than 260 characters";

FileFormat Readable(FileFormat format) {
    return FileFormatReadable(format) ? format : FileFormat::Binary;
}

} // namespace

FileFlow::FileFlow(MemoryImage& image, FileFlowHost& host) : image_(image), host_(host) {}

bool FileFlow::SetCurrentFile(const std::string& path) {
    if (path.size() > kMaxPathLength) {
        currentFile_.clear();
        return false;
    }
    currentFile_ = path;
    return true;
}

std::string FileFlow::WindowTitle() const {
    return Format("PYROLA - [%s]", FileNamePart(currentFile_).c_str());
}

FileFormat FileFlow::ChooseFormat(const std::string& path) {
    // An executable is one whatever its name: there is nothing to ask.
    if (EffectiveFileFormat(path, FileFormat::Unknown) == FileFormat::Elf)
        return FileFormat::Elf;
    if (loadFormat_ && FileFormatReadable(*loadFormat_))
        return *loadFormat_;
    const FileFormat detected = FileFormatForExtension(ExtensionOf(FileNamePart(path)));
    if (!host_.FileOptions().autoDetect || detected == FileFormat::Unknown)
        return Readable(host_.AskFormat(detected, &binaryBase_));
    return detected;
}

// Reports the outcome of a load or save: a failure with its reason forgets the current
// file; a success puts the path at the top of the recent-file list.
bool FileFlow::Finish(bool succeeded, const char* failedPattern, const std::string& reason,
                      const std::string& successText, const std::string& path,
                      const std::vector<std::string>& warnings) {
    host_.SetFailureMark(!succeeded);
    if (succeeded) {
        host_.Log(successText);
        for (const std::string& warning : warnings)
            host_.Log(warning);
        host_.AddRecentFile(path);
    } else {
        host_.Log(Format(failedPattern, reason.c_str()));
        currentFile_.clear();
    }
    host_.Refreshed(image_.Low());
    return succeeded;
}

std::string OverlapWarning(const ImageOverlap& overlap) {
    return Format(
        "Warning: %u bytes given twice, first at 0x%.4X (0x%.2X, then 0x%.2X: the later value kept)",
        unsigned(overlap.count), unsigned(overlap.first), unsigned(overlap.earlier), unsigned(overlap.kept));
}

bool FileFlow::LoadFile(const std::string& path) {
    lastLoadUnterminated_ = false;
    lastLoadOverlap_ = {};
    lastLoadParts_.clear();
    // A longer path cannot be the current file, and cutting it would name a different file.
    if (!SetCurrentFile(path))
        return Finish(false, "Load failed. %s", kTextPathTooLong, {}, path);
    const FileFormat format = ChooseFormat(path);
    host_.Log(Format("Loading %s file \"%s\"..", FileFormatName(format), FileNamePart(path).c_str()));
    ImageFileContext context{&image_, {}};
    context.binaryBase = binaryBase_;
    const int32_t count = ReadImageFile(context, path, format);
    const bool loaded = count >= 1;
    if (!loaded) {
        const bool done = Finish(false, "Load failed. %s", context.errorText, {}, path);
        // What was tried and the system's reason, after the failure line.
        if (!context.errorDetail.empty())
            host_.LogReason(context.errorDetail);
        return done;
    }
    if (!context.takenText.empty())
        host_.Log(context.takenText);
    lastLoadUnterminated_ = context.endRecordMissing;
    lastLoadOverlap_ = context.overlap;
    lastLoadParts_ = context.parts;
    std::vector<std::string> warnings;
    if (lastLoadUnterminated_)
        warnings.emplace_back(kTextNoEndRecord);
    if (lastLoadOverlap_.count > 0)
        warnings.push_back(OverlapWarning(lastLoadOverlap_));
    return Finish(true, "Load failed. %s", {},
                  Format("Load %u bytes at 0x%.4X-0x%.4X", unsigned(image_.PresentCount()),
                         unsigned(image_.Low()), unsigned(image_.High())),
                  path, warnings);
}

bool FileFlow::SaveFile(const std::string& path) {
    std::string target = path;
    FileFormat format = FileFormatForExtension(ExtensionOf(path));
    // A format that is only read (ELF, S-record) is asked about like an unknown one.
    if (!host_.FileOptions().autoDetect || !FileFormatWritable(format)) {
        format = host_.AskFormat(FileFormatWritable(format) ? format : FileFormat::Unknown, nullptr);
        if (format == FileFormat::Unknown)
            format = FileFormat::Binary;
        target = WithExtension(path, FileFormatExtension(format));
    }
    if (!SetCurrentFile(target))
        return Finish(false, "Save failed. %s", kTextPathTooLong, {}, target);
    if (host_.FileOptions().removeGap) {
        const uint32_t removed = RemoveGap(image_);
        if (removed > 0)
            host_.Log(Format("Remove %d gap bytes", static_cast<int>(removed)));
    }
    host_.Log(Format("Saving %s file \"%s\"..", FileFormatName(format), FileNamePart(target).c_str()));
    ImageFileContext context{&image_, {}};
    const int32_t result = WriteImageFile(context, target, format);
    const bool done = Finish(result >= 1, "Save failed. %s", context.errorText, "Save complete.", target);
    if (!done && !context.errorDetail.empty())
        host_.LogReason(context.errorDetail);
    return done;
}

} // namespace pyrola
