#pragma once
// What the load and save flow needs from the window it works for. The GUI and the
// headless front end each implement it.

#include "image/FileFormat.h"

#include <cstdint>
#include <string>

namespace pyrola {

// The user's two file options.
struct FileFlowOptions {
    // The format follows a known extension; off: the File Format dialog always asks.
    bool autoDetect = true;
    // A saved image leaves out the gap bytes (see RemoveGap).
    bool removeGap = true;
};

class FileFlowHost {
public:
    virtual ~FileFlowHost() = default;

    // Append a time-stamped log line and show the text as the status text.
    virtual void Log(const std::string& text) = 0;
    // Append a time-stamped log line under the last one (what was tried and why it failed);
    // the status text keeps the failure.
    virtual void LogReason(const std::string& text) = 0;
    // The file options as they are now; read at each load, save and format choice.
    virtual FileFlowOptions FileOptions() const = 0;
    // Status text in the error colour (true) or the normal one (false).
    virtual void SetFailureMark(bool failed) = 0;
    // The File Format dialog: returns one of kFileFormats. preselected may be Unknown
    // (then "Binary" is checked). Saving asks with a writable format or Unknown; an
    // answer that cannot be written (ELF, S-record) fails the save. For a load,
    // binaryBase is where a binary file's first byte goes: shown, and changed to the
    // user's answer; null when saving (a binary file is written from 0).
    virtual FileFormat AskFormat(FileFormat preselected, uint32_t* binaryBase) = 0;
    // Put path at the top of the recent-file list and store the list.
    virtual void AddRecentFile(const std::string& path) = 0;
    // The flow has finished: set the window title (FileFlow::WindowTitle), let the memory
    // view start again at scrollAddress (the image's low address, 0xFFFFFF when empty)
    // and refresh the command states.
    virtual void Refreshed(uint32_t scrollAddress) = 0;
};

} // namespace pyrola
