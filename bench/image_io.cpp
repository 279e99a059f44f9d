// Reads and writes a full 64 KiB image and a full 1 MiB image in each file format, and
// runs the same conversions through srecord's srec_cat for comparison. Each conversion
// is timed as the best of several runs; srec_cat's time includes its process start, as
// a user of it would see. Exits 1 when a 1 MiB conversion is less than 5x faster here.

#include "image/BinaryReader.h"
#include "image/BinaryWriter.h"
#include "image/ImageReader.h"
#include "image/ImageWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

using namespace pyrola;

namespace {

using Clock = std::chrono::steady_clock;

double BestMs(int repeats, const std::function<bool()>& work) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const auto start = Clock::now();
        if (!work()) {
            std::fprintf(stderr, "a timed step failed\n");
            std::exit(2);
        }
        const std::chrono::duration<double, std::milli> took = Clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

const char* SrecFormat(FileFormat format) {
    switch (format) {
    case FileFormat::IntelHex:
        return "-intel";
    case FileFormat::TiTxt:
        return "-ti-txt";
    default:
        return "-binary";
    }
}

bool Srec(const std::string& in, FileFormat inFormat, const std::string& out, FileFormat outFormat) {
    const std::string command = "srec_cat \"" + in + "\" " + SrecFormat(inFormat) + " -o \"" + out + "\" " +
                                SrecFormat(outFormat) + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace

int main() {
    const bool haveSrec = std::system("srec_cat -version >/dev/null 2>&1") == 0;
    // A memory file system where there is one, so disk writes time neither side.
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    const auto dir = base / ("pyrola-bench-image-io-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    const auto file = [&](const std::string& name) { return (dir / name).string(); };

    std::printf("%-7s %-10s %-22s %10s %10s %12s %8s\n", "image", "format", "conversion", "read(ms)",
                "ours(ms)", "srec_cat(ms)", "ratio");
    bool fastEnough = true;
    std::mt19937 random(42);
    for (const uint32_t span : {0x10000u, 0x100000u}) {
        MemoryImage image;
        image.Clear();
        for (uint32_t a = 0; a < span; ++a)
            image.StoreByte(a, static_cast<uint8_t>(random()));
        const char* label = span == 0x10000 ? "64 KiB" : "1 MiB";
        ImageFileContext context{&image, {}};
        const std::string bin = file("image.bin");
        WriteBinaryFile(context, bin);

        for (const FileFormat format : {FileFormat::TiTxt, FileFormat::IntelHex, FileFormat::Binary}) {
            const std::string path = file(std::string("image.") + (format == FileFormat::TiTxt      ? "txt"
                                                                   : format == FileFormat::IntelHex ? "hex"
                                                                                                    : "raw"));
            const std::string outBin = file("out.bin");
            const std::string outFmt = file("out.fmt");
            MemoryImage scratch;
            scratch.Clear();
            ImageFileContext scratchContext{&scratch, {}};

            // binary -> format: what a write costs (ours: write only, and with the read)
            const double writeOnly = BestMs(10, [&] { return WriteImageFile(context, path, format) == 1; });
            const double oursWrite = BestMs(10, [&] {
                return ReadBinaryFile(scratchContext, bin) > 0 &&
                       WriteImageFile(scratchContext, outFmt, format) == 1;
            });
            // format -> binary: what a read costs
            const double readOnly = BestMs(10, [&] {
                return ReadImageFile(scratchContext, path, format) == static_cast<int32_t>(span);
            });
            const double oursRead = BestMs(10, [&] {
                return ReadImageFile(scratchContext, path, format) > 0 &&
                       WriteBinaryFile(scratchContext, outBin) == 1;
            });

            double srecWrite = 0;
            double srecRead = 0;
            if (haveSrec) {
                srecWrite = BestMs(3, [&] { return Srec(bin, FileFormat::Binary, outFmt, format); });
                srecRead = BestMs(3, [&] { return Srec(path, format, outBin, FileFormat::Binary); });
            }
            const auto row = [&](const char* conversion, double alone, double ours, double srec) {
                if (haveSrec) {
                    std::printf("%-7s %-10s %-22s %10.2f %10.2f %12.2f %7.1fx\n", label,
                                FileFormatName(format), conversion, alone, ours, srec, srec / ours);
                    if (span == 0x100000 && srec / ours < 5.0)
                        fastEnough = false;
                } else {
                    std::printf("%-7s %-10s %-22s %10.2f %10.2f %12s %8s\n", label, FileFormatName(format),
                                conversion, alone, ours, "-", "-");
                }
            };
            row("read: format->binary", readOnly, oursRead, srecRead);
            row("write: binary->format", writeOnly, oursWrite, srecWrite);
        }
    }
    std::filesystem::remove_all(dir);
    std::printf(
        "read(ms): reading or writing the format alone; ours(ms): the same conversion srec_cat does\n");
    if (!haveSrec) {
        std::printf("srec_cat not found: no comparison\n");
        return 0;
    }
    std::printf(fastEnough ? "1 MiB conversions: at least 5x faster than srec_cat\n"
                           : "1 MiB conversions: NOT 5x faster than srec_cat\n");
    return fastEnough ? 0 : 1;
}
