#pragma once
// What the shell asks of a front end (the window, the headless program, a test): show
// texts, progress and command states, and ask the one question the load flow may have.

#include "app/CommandStates.h"
#include "image/FileFormat.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pyrola {

class ShellView {
public:
    virtual ~ShellView() = default;

    // A complete log line, already time-stamped ("12:34:56->text").
    virtual void AppendLog(const std::string& line) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // true: the status text shows in the error colour.
    virtual void SetStatusError(bool error) = 0;
    // First status-bar part: "FET(LPT1)", "RAW(LPT2)", "BSL(COM3)".
    virtual void SetAdapterLabel(const std::string& label) = 0;
    virtual void ProgressCreate(uint32_t range) = 0;
    virtual void ProgressStep() = 0;
    virtual void ProgressSetPosition(uint32_t position) = 0;
    virtual void ProgressDestroy() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void SetCommandStates(const CommandStates& states) = 0;
    // Device list selection and the information line below it.
    virtual void ShowDevice(uint32_t index, const std::string& information) = 0;
    // The memory view: rows from the image's low address, scrolled towards address.
    virtual void RefreshMemoryView(uint32_t scrollAddress) = 0;
    // The File Format dialog; returns one of kFileFormats (see FileFlowHost::AskFormat).
    virtual FileFormat AskFormat(FileFormat preselected, uint32_t* binaryBase) = 0;
    // A second instance handed over its command line: restore and come to the front.
    virtual void BringToFront() {}
    // The serialization dialog's "In memory" field: redraw it from the form (the shell has
    // refreshed the form it was given).
    virtual void RefreshSerialization() {}
    // A recent-file entry without a stored path.
    virtual void Beep() {}
    // A yes-or-no question to the person at the window; nullopt where nobody can be asked
    // (the headless program says what to do instead).
    virtual std::optional<bool> Ask(const std::string& title, const std::string& question) {
        (void)title;
        (void)question;
        return std::nullopt;
    }
};

} // namespace pyrola
