#pragma once
// A private folder for one test, removed with everything in it afterwards.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace pyrola::test {

class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        path_ = std::filesystem::absolute(std::filesystem::temp_directory_path() /
                                          ("pyrola-cli-" + std::to_string(++counter) + "-" +
                                           std::to_string(reinterpret_cast<uintptr_t>(this))));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string Path(const std::string& name) const { return (path_ / name).string(); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
        return Path(name);
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::filesystem::path path_;
};

} // namespace pyrola::test
