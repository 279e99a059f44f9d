#pragma once
// A fresh folder below the system's temp folder for one test, removed with everything in
// it afterwards. Its path is absolute (the Windows profile functions need that).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace pyrola::test {

class TempDir {
public:
    TempDir() {
        std::random_device seed;
        const auto base = std::filesystem::absolute(std::filesystem::temp_directory_path());
        for (int attempt = 0; attempt < 100; ++attempt) {
            auto candidate = base / ("pyrola-test-" + std::to_string(seed()));
            if (std::filesystem::create_directory(candidate)) {
                path_ = candidate;
                return;
            }
        }
        ADD_FAILURE() << "cannot create a temporary folder";
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::string Path() const { return path_.string(); }
    // Writes the file's bytes; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(File(name), std::ios::binary) << bytes;
        return File(name);
    }
    // The file's bytes; empty when it cannot be read.
    std::string Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path path_;
};

} // namespace pyrola::test
