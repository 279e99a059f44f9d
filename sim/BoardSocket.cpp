#include "sim/BoardSocket.h"

#include <fstream>
#include <sstream>

namespace pyrola::sim {

namespace {

std::string FirstLine(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string line;
    if (file)
        std::getline(file, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    return line;
}

} // namespace

BoardSocket::BoardSocket(std::string path, std::string memoryPath)
    : path_(std::move(path)), memoryPath_(std::move(memoryPath)) {}

BoardSocket::Look BoardSocket::Check(DeviceModel& chip, LoaderFaults* loader, bool reloaded,
                                     std::string& error) {
    if (!lastBoardRead_ && !memoryPath_.empty())
        lastBoard_ = FirstLine(memoryPath_);
    lastBoardRead_ = true;
    std::istringstream words(FirstLine(path_));
    std::string word;
    if (!(words >> word))
        return Look::AsItIs;
    if (word == "none")
        return Look::Absent;
    std::string name;
    if (word != "board" || !(words >> name)) {
        error = "the board socket file says neither \"none\" nor \"board NAME\"";
        return Look::Invalid;
    }
    std::string faults;
    std::getline(words, faults);
    if (name == lastBoard_) {
        LoaderFaults ignored;
        if (reloaded && !ApplyFaultList(faults, chip, &error, loader ? &ignored : nullptr))
            return Look::Invalid;
        return Look::Present;
    }
    DeviceModel blank(chip.DeviceName());
    LoaderFaults loaderFaults;
    if (!ApplyFaultList(faults, blank, &error, loader ? &loaderFaults : nullptr))
        return Look::Invalid;
    chip = std::move(blank);
    if (loader)
        *loader = loaderFaults;
    lastBoard_ = name;
    if (!memoryPath_.empty())
        std::ofstream(memoryPath_, std::ios::binary | std::ios::trunc) << name << '\n';
    return Look::Inserted;
}

} // namespace pyrola::sim
