#pragma once
// The headless program's rendering of the shell: log lines on standard output; a failure on
// standard error as one line of the status text and its reason (the log lines that follow
// it while the error colour is on); a progress bar on standard error while it is a terminal.

#include "app/ShellView.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace pyrola {
class ProgrammerShell;
}

namespace pyrola::cli {

class CliView : public ShellView {
public:
    CliView(std::FILE* out, std::FILE* err, bool progressOnErr)
        : out_(out), err_(err), progress_(progressOnErr) {}

    void Attach(ProgrammerShell* shell) { shell_ = shell; }
    // Quiet: no log lines and no progress bar; failures still go to standard error, and
    // ShowResult's line to standard output.
    void SetQuiet(bool quiet) {
        quiet_ = quiet;
        progress_ = progress_ && !quiet;
    }
    // Logs the run's closing line, quiet or not.
    void ShowResult(const std::string& text);

    void AppendLog(const std::string& line) override;
    void SetStatusText(const std::string& text) override;
    void SetStatusError(bool error) override;
    void SetAdapterLabel(const std::string&) override {}
    void ProgressCreate(uint32_t range) override;
    void ProgressStep() override;
    void ProgressSetPosition(uint32_t position) override;
    void ProgressDestroy() override;
    void SetTitle(const std::string&) override {}
    void SetCommandStates(const CommandStates&) override {}
    void ShowDevice(uint32_t, const std::string&) override {}
    void RefreshMemoryView(uint32_t) override {}
    // No dialog here: the extension's format, or Binary (the dialog's preselection) with a
    // log line saying so.
    FileFormat AskFormat(FileFormat preselected, uint32_t* binaryBase) override;

    // Writes out a failure status still waiting for its reason.
    void Finish();
    // The first line written to standard error (the first failure and its reason); empty
    // while there was none.
    const std::string& FirstErrorText() const { return firstError_; }
    // The clock the bar's time left is reckoned by, in milliseconds (tests set their own).
    void SetClock(std::function<uint64_t()> nowMs) { nowMs_ = std::move(nowMs); }

private:
    void DrawProgress();
    void EraseProgress();
    uint64_t NowMs() const;
    void WriteError(const std::string& text);
    void FlushPendingError();

    std::FILE* out_;
    std::FILE* err_;
    bool progress_;
    ProgrammerShell* shell_ = nullptr;
    bool error_ = false;
    // A failure status text whose reason (the next log line) has not arrived yet.
    std::string pendingError_;
    std::string lastError_;
    std::string firstError_;
    bool quiet_ = false;
    bool showNext_ = false;
    bool barShown_ = false;
    uint32_t range_ = 0;
    uint32_t position_ = 0;
    // The step the bar belongs to ("Programming the device memory"), its start, and how
    // wide the last drawing was (so that erasing covers it).
    std::string step_;
    uint64_t startedMs_ = 0;
    size_t drawnWidth_ = 0;
    std::function<uint64_t()> nowMs_;
};

} // namespace pyrola::cli
