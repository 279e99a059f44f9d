// Loads and saves the settings record (with the recent-file list) from settings files of
// growing size, as the program does at start-up and on exit. Each figure is the best of
// several runs. A load must cost one read of the file and a save one read and one write,
// whatever the size, so the time grows in step with the file: exits 1 when a file 16
// times larger costs more than 64 times as long, or when the read and write counts are
// not one per load and save.

#include "platform/IniSettingsStore.h"
#include "settings/RecentFileList.h"
#include "settings/SettingsPersistence.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

using namespace pyrola;

namespace {

using Clock = std::chrono::steady_clock;

double BestMs(int repeats, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const auto start = Clock::now();
        work();
        const std::chrono::duration<double, std::milli> took = Clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

void WriteSettingsFile(const std::string& path, int lines) {
    std::ofstream out(path, std::ios::binary);
    out << "; hand-kept settings\n[Pyrola]\nAdapter=2\n";
    for (int i = 0; i < lines / 2; ++i)
        out << "Extra" << i << "=" << i << "\n";
    out << "\n[Recent Document List]\nDocumentCount=4\nDocument1=/data/a.txt\n";
    for (int i = 0; i < lines / 2; ++i)
        out << "Other" << i << "=x\n";
}

} // namespace

int main() {
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    const auto dir = base / ("pyrola-bench-settings-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "settings.ini").string();

    std::printf("%8s %10s %10s %12s %12s %13s\n", "lines", "load(ms)", "save(ms)", "reads/load", "reads/save",
                "writes/save");
    bool linear = true;
    double firstLoad = 0;
    double firstSave = 0;
    for (const int lines : {1250, 5000, 20000}) {
        WriteSettingsFile(path, lines);
        uint32_t loadReads = 0;
        uint32_t saveReads = 0;
        uint32_t saveWrites = 0;
        const double load = BestMs(5, [&] {
            IniSettingsStore store(path);
            Settings settings;
            RecentFileList recent(settings.keyPath);
            recent.Read(store);
            LoadSettings(settings, store);
            loadReads = store.FileReads();
        });
        // Exit saves the record; a load or save of a file saves the recent-file list.
        const double save = BestMs(5, [&] {
            IniSettingsStore store(path);
            Settings settings;
            RecentFileList recent(settings.keyPath);
            recent.Add("/data/b.txt");
            SaveSettings(settings, store);
            recent.Write(store);
            saveReads = store.FileReads();
            saveWrites = store.FileWrites();
        });
        std::printf("%8d %10.2f %10.2f %12u %12.1f %13.1f\n", lines, load, save / 2, loadReads,
                    saveReads / 2.0, saveWrites / 2.0);
        if (loadReads != 1 || saveReads != 2 || saveWrites != 2)
            linear = false;
        if (lines == 1250) {
            firstLoad = std::max(load, 0.05);
            firstSave = std::max(save, 0.05);
        } else if (lines == 20000 && (load > 64 * firstLoad || save > 64 * firstSave)) {
            linear = false;
        }
    }
    std::filesystem::remove_all(dir);
    if (!linear) {
        std::printf("settings load or save is not linear in the file's size\n");
        return 1;
    }
    return 0;
}
