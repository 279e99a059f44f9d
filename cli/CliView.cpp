#include "cli/CliView.h"

#include "app/ProgrammerShell.h"

#include <algorithm>
#include <chrono>

namespace pyrola::cli {

namespace {
constexpr int kBarWidth = 30;
// The line stays within an 80-column terminal.
constexpr size_t kLineWidth = 79;
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
    // A step's progress text ("Programming the device memory..") names the bar.
    if (!error_ && text.size() > 2 && text.compare(text.size() - 2, 2, "..") == 0)
        step_ = text.substr(0, text.size() - 2);
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
    startedMs_ = NowMs();
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

uint64_t CliView::NowMs() const {
    if (nowMs_)
        return nowMs_();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void CliView::DrawProgress() {
    if (!progress_ || !barShown_)
        return;
    const uint64_t filled = range_ ? uint64_t(position_) * kBarWidth / range_ : 0;
    const uint64_t percent = range_ ? uint64_t(position_) * 100 / range_ : 0;
    std::string bar(kBarWidth, ' ');
    std::fill(bar.begin(), bar.begin() + static_cast<long>(filled), '#');
    std::string line = "[" + bar + "] " + std::to_string(percent) + "%";
    if (!step_.empty())
        line += " " + step_;
    // Time left by the pace so far, once there is a pace to go by.
    const uint64_t elapsed = NowMs() - startedMs_;
    if (position_ > 0 && position_ < range_ && elapsed >= 1000) {
        const uint64_t left = elapsed * (range_ - position_) / position_;
        line += ", " + std::to_string((left + 999) / 1000) + " s left";
    }
    if (line.size() > kLineWidth)
        line.resize(kLineWidth);
    const size_t width = line.size();
    if (width < drawnWidth_)
        line.append(drawnWidth_ - width, ' '); // over the end of a longer drawing
    std::fprintf(err_, "\r%s", line.c_str());
    std::fflush(err_);
    drawnWidth_ = std::max(drawnWidth_, width);
}

void CliView::EraseProgress() {
    if (!progress_ || !barShown_)
        return;
    std::fprintf(err_, "\r%*s\r", static_cast<int>(std::max<size_t>(drawnWidth_, kBarWidth + 8)), "");
    std::fflush(err_);
    drawnWidth_ = 0;
}

} // namespace pyrola::cli
