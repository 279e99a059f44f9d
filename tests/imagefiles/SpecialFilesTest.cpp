// Paths that are no regular file (a FIFO, a device, a folder) given to the readers and
// writers: refused at once, never waited on.

#include "image/ImageReader.h"
#include "image/ImageWriter.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pyrola {
namespace {

using testfiles::ClearedImage;
using testfiles::TempDir;

#ifndef _WIN32
// Runs the call on another thread; a call that blocks on the FIFO is released by opening
// the other end, so the test fails instead of hanging.
template <typename Call> bool ReturnsWithoutWaiting(const std::string& fifo, Call call) {
    std::future<void> done = std::async(std::launch::async, call);
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
        return true;
    for (int flags : {O_WRONLY | O_NONBLOCK, O_RDONLY | O_NONBLOCK}) {
        const int fd = ::open(fifo.c_str(), flags);
        if (fd >= 0)
            ::close(fd);
    }
    done.wait();
    return false;
}

TEST(SpecialFiles, AFifoIsRefusedByEveryReaderAndWriterWithoutWaiting) {
    TempDir dir;
    const std::string fifo = dir.File("image.hex");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (FileFormat format : {FileFormat::IntelHex, FileFormat::TiTxt, FileFormat::Binary}) {
        MemoryImage image = ClearedImage();
        image.StoreByte(0x1000, 0x12);
        ImageFileContext context{&image, {}};
        int32_t count = -1;
        EXPECT_TRUE(ReturnsWithoutWaiting(fifo, [&] { count = ReadImageFile(context, fifo, format); }))
            << FileFormatName(format);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(context.errorText, "Not a regular file");
        EXPECT_EQ(image.CellAt(0x1000), 0x12); // the image was not cleared

        int32_t result = -1;
        EXPECT_TRUE(ReturnsWithoutWaiting(fifo, [&] { result = WriteImageFile(context, fifo, format); }))
            << FileFormatName(format);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(context.errorText, "Not a regular file");
    }
}

TEST(SpecialFiles, DevicesAreNoImage) {
    MemoryImage image = ClearedImage();
    ImageFileContext context{&image, {}};
    // /dev/zero would otherwise fill the image with a mebibyte of zeros.
    for (const char* device : {"/dev/null", "/dev/zero"}) {
        EXPECT_EQ(ReadImageFile(context, device, FileFormat::Binary), 0) << device;
        EXPECT_EQ(context.errorText, "Not a regular file") << device;
    }
}

TEST(SpecialFiles, ALinkToAFileReadsTheFile) {
    TempDir dir;
    const std::string file = dir.File("real.txt");
    testfiles::WriteFile(file, "@1000\r\n01 02\r\nq\r\n");
    const std::string link = dir.File("link.txt");
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    MemoryImage image = ClearedImage();
    ImageFileContext context{&image, {}};
    EXPECT_EQ(ReadImageFile(context, link, FileFormat::TiTxt), 2);
    EXPECT_EQ(context.errorText, "");
}
#endif

TEST(SpecialFiles, AFolderIsNoImage) {
    // Refused before it is opened, whatever the system would make of opening it.
    TempDir dir;
    MemoryImage image = ClearedImage();
    image.StoreByte(0x20, 1);
    ImageFileContext context{&image, {}};
    for (FileFormat format : {FileFormat::IntelHex, FileFormat::TiTxt, FileFormat::Binary}) {
        EXPECT_EQ(ReadImageFile(context, dir.Path(), format), 0);
        EXPECT_EQ(context.errorText, "Not a regular file");
        EXPECT_EQ(image.CellAt(0x20), 1);
    }
}

} // namespace
} // namespace pyrola
