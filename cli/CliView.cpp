#include "cli/CliView.h"

#include "app/ProgrammerShell.h"

#include <algorithm>

namespace pyrola::cli {

namespace {
constexpr int kBarWidth = 40;
constexpr uint32_t kProgressDefaultStep = 10; // the progress control's own step
} // namespace

namespace {
// The text of a log line, without its "HH:MM:SS->" stamp.
std::string LogText(const std::string& line) {
    const size_t arrow = line.find("->");
    return arrow == std::string::npos ? line : line.substr(arrow + 2);
}
} // namespace

void CliView::AppendLog(const std::string& line) {
    EraseProgress();
    if (!quiet_ || showNext_) {
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }
    showNext_ = false;
    if (error_) {
        // The status text and its reason on one line: "Init() failed. msp430.dll not
        // found". A log line that repeats the status (or starts with it) stands alone.
        const std::string text = LogText(line);
        if (!pendingError_.empty() && text.rfind(pendingError_, 0) != 0)
            WriteError(pendingError_ + " " + text);
        else
            WriteError(text);
        pendingError_.clear();
    }
    DrawProgress();
}

void CliView::ShowResult(const std::string& text) {
    // The failure was told already: the closing line is no reason of it.
    const bool error = error_;
    error_ = false;
    showNext_ = true;
    if (shell_)
        shell_->LogLine(text);
    showNext_ = false;
    error_ = error;
}

void CliView::SetStatusText(const std::string& text) {
    if (!error_) {
        FlushPendingError();
        return;
    }
    if (text == lastError_ && pendingError_.empty())
        return; // the log line just written said it already
    FlushPendingError();
    pendingError_ = text;
}

void CliView::SetStatusError(bool error) {
    if (!error)
        FlushPendingError();
    error_ = error;
}

void CliView::Finish() {
    FlushPendingError();
    // A job broken off (Ctrl+C) may never have taken its bar down.
    EraseProgress();
    barShown_ = false;
}

void CliView::FlushPendingError() {
    if (pendingError_.empty())
        return;
    const std::string text = std::move(pendingError_);
    pendingError_.clear();
    EraseProgress();
    WriteError(text);
    DrawProgress();
}

void CliView::WriteError(const std::string& text) {
    std::fprintf(err_, "%s\n", text.c_str());
    std::fflush(err_);
    lastError_ = text;
    if (firstError_.empty())
        firstError_ = text;
}

FileFormat CliView::AskFormat(FileFormat preselected, uint32_t* /*binaryBase: --base sets it*/) {
    if (FileFormatReadable(preselected))
        return preselected;
    if (shell_)
        shell_->LogLine("Unknown file extension: reading the file as Binary");
    return FileFormat::Binary;
}

void CliView::ProgressCreate(uint32_t range) {
    if (!progress_)
        return;
    range_ = range;
    position_ = 0;
    barShown_ = true;
    DrawProgress();
}

void CliView::ProgressStep() {
    position_ = std::min(range_, position_ + kProgressDefaultStep);
    DrawProgress();
}

void CliView::ProgressSetPosition(uint32_t position) {
    position_ = std::min(range_, position);
    DrawProgress();
}

void CliView::ProgressDestroy() {
    EraseProgress();
    barShown_ = false;
}

void CliView::DrawProgress() {
    if (!progress_ || !barShown_)
        return;
    const uint64_t filled = range_ ? uint64_t(position_) * kBarWidth / range_ : 0;
    const uint64_t percent = range_ ? uint64_t(position_) * 100 / range_ : 0;
    std::string bar(kBarWidth, ' ');
    std::fill(bar.begin(), bar.begin() + static_cast<long>(filled), '#');
    std::fprintf(err_, "\r[%s] %3u%%", bar.c_str(), static_cast<unsigned>(percent));
    std::fflush(err_);
}

void CliView::EraseProgress() {
    if (!progress_ || !barShown_)
        return;
    std::fprintf(err_, "\r%*s\r", kBarWidth + 8, "");
    std::fflush(err_);
}

} // namespace pyrola::cli
