#pragma once
// The window's two file operations: choose the format, run the reader or writer, report
// the outcome, and keep the current file name and the recent-file list up to date.

#include "image/FileFlowHost.h"
#include "image/FileFormat.h"
#include "image/ImageFileContext.h"
#include "image/MemoryImage.h"

#include <optional>
#include <string>
#include <vector>

namespace pyrola {

class FileFlow {
public:
    // Both are borrowed and must outlive the flow.
    FileFlow(MemoryImage& image, FileFlowHost& host);

    // True when the reader's count is at least 1 (an image of one byte included). The
    // log says what a reader took from a file that holds more ("Took 4 ELF sections..."),
    // then "Load %d bytes at 0x%.4X-0x%.4X": the bytes loaded and the span they lie in. A
    // text file that ends without its end record loads, but with a warning logged after
    // that line (see LastLoadUnterminated), and so does one that gives an address twice
    // (see LastLoadOverlap).
    bool LoadFile(const std::string& path);
    // The last LoadFile succeeded on a file without its end record (Intel HEX type 01,
    // TI TXT "q"), so the file may have been cut short. False after any other load.
    bool LastLoadUnterminated() const { return lastLoadUnterminated_; }
    // The addresses the last successful load was given twice (count 0: none).
    const ImageOverlap& LastLoadOverlap() const { return lastLoadOverlap_; }
    // The named pieces (ELF sections) of the last successful load; empty for other formats.
    const std::vector<ImagePart>& LastLoadParts() const { return lastLoadParts_; }
    // True when the writer's result is at least 1. The saved name may differ from path
    // when the format was asked for (its extension is then the chosen format's). A name
    // whose extension is a format only read (".elf", ".s19", ...) is asked about as an
    // unknown one.
    bool SaveFile(const std::string& path);

    // Full path of the last successful load or save; empty at start and after a failure.
    const std::string& CurrentFile() const { return currentFile_; }
    // For a front end that loads through ReadImageFile itself; refuses (returns false and
    // empties the name) a path longer than kMaxPathLength.
    bool SetCurrentFile(const std::string& path);
    // "PYROLA - [%s]" with the file name part of the current file.
    std::string WindowTitle() const;

    // The format by the file name's extension, or asked for when autodetection is off or
    // the extension is unknown; Elf without asking for a file that starts with the ELF
    // magic. Never Unknown.
    FileFormat ChooseFormat(const std::string& path);
    // A front end without the File Format dialog decides the format of the files it loads
    // itself; nullopt goes back to the extension and the dialog.
    void SetLoadFormat(std::optional<FileFormat> format) { loadFormat_ = format; }
    // Where byte 0 of the binary files loaded from now on goes (0: the file starts at 0);
    // the File Format dialog shows it and may change it.
    void SetBinaryBase(uint32_t base) { binaryBase_ = base; }
    uint32_t BinaryBase() const { return binaryBase_; }

private:
    bool Finish(bool succeeded, const char* failedPattern, const std::string& reason,
                const std::string& successText, const std::string& path,
                const std::vector<std::string>& warnings = {});

    MemoryImage& image_;
    FileFlowHost& host_;
    std::string currentFile_;
    bool lastLoadUnterminated_ = false;
    ImageOverlap lastLoadOverlap_;
    std::vector<ImagePart> lastLoadParts_;
    std::optional<FileFormat> loadFormat_;
    uint32_t binaryBase_ = 0;
};

// Logged after "Load %d bytes" for a file without its end record.
inline constexpr const char* kTextNoEndRecord = "Warning: no end record; the file may be cut short";
// Logged after "Load %d bytes" for a file that gives an address twice.
std::string OverlapWarning(const ImageOverlap& overlap);

} // namespace pyrola
