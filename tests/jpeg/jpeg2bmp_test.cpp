// The jpeg2bmp tool as developers and testers run it: a .bmp file holding exactly
// the decoder's header and rows, or exit status 1 and one line saying why.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "jpeg/jpeg_decoder.h"
#include "tests/jpeg/stream_builder.h"

namespace vx {
namespace {

// Names of files of this test process alone (tests run in parallel processes).
std::string TempName(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("vx_jpeg2bmp_" + std::to_string(getpid()) + "_" + name))
        .string();
}

struct ToolRun {
    int status;
    std::string errors;
};

ToolRun RunTool(const std::string& in, const std::string& out) {
    const std::string errors = TempName("errors.txt");
    const std::string command =
        std::string(VX_JPEG2BMP) + " '" + in + "' '" + out + "' 2>'" + errors + "'";
    const int raw = std::system(command.c_str());
    std::ifstream text(errors);
    std::string line, all;
    while (std::getline(text, line)) {
        all += line + "\n";
    }
    std::remove(errors.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, all};
}

TEST(Jpeg2Bmp, WritesTheDecodedRowsBehindABitmapFileHeader) {
    const std::string in = VX_JPEG_FIXTURES "/small_100x75_q90.jpg";
    const std::string out = TempName("picture.bmp");
    const ToolRun run = RunTool(in, out);
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::vector<std::uint8_t> bmp = test::ReadFileBytes(out);
    std::remove(out.c_str());

    JpegDecoder decoder;
    const std::uint8_t* rows = decoder.DecodeFile(in);
    ASSERT_NE(rows, nullptr);
    const std::uint32_t size = decoder.header().biSizeImage;
    ASSERT_EQ(bmp.size(), 14 + 40 + size);
    auto u32 = [&](std::size_t at) {
        return bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | std::uint32_t{bmp[at + 3]} << 24;
    };
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(u32(2), bmp.size());
    EXPECT_EQ(u32(10), 54u);
    EXPECT_EQ(BitmapInfoHeader::ReadFrom(bmp.data() + 14), decoder.header());
    EXPECT_TRUE(std::equal(rows, rows + size, bmp.begin() + 54));
}

TEST(Jpeg2Bmp, FailsWithOneLineReason) {
    const std::string out = TempName("never.bmp");
    const std::string notJpeg = TempName("text.jpg");
    std::ofstream(notJpeg) << "not a picture";
    const struct {
        std::string in;
        const char* reason;
    } cases[] = {
        {"/nonexistent/vx/picture.jpg", "cannot open the input file"},
        {notJpeg, "not a JPEG stream this decoder handles"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        const ToolRun run = RunTool(c.in, out);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.errors, "jpeg2bmp: " + c.in + ": " + c.reason + "\n");
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    std::remove(notJpeg.c_str());
}

}  // namespace
}  // namespace vx
