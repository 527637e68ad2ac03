// Peer check: over the visible area, the decoder's pixels against libjpeg-turbo's
// accurate integer DCT with chroma replicated (the decoder's own upsampling), as
// PSNR over all three channels. libjpeg-turbo serves the tests only.

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <vector>

#include "jpeg/jpeg_decoder.h"
#include "tests/jpeg/fixtures.h"
#include "tests/jpeg/stream_builder.h"

namespace vx {
namespace {

class JpegPeerCheck : public testing::TestWithParam<std::string> {};

TEST_P(JpegPeerCheck, AtLeast40DecibelsAgainstLibjpegTurbo) {
    const std::vector<std::uint8_t> stream = test::ReadFileBytes(GetParam());
    tjhandle handle = tjInitDecompress();
    ASSERT_NE(handle, nullptr);
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    ASSERT_EQ(tjDecompressHeader3(handle, stream.data(), static_cast<unsigned long>(stream.size()),
                                  &width, &height, &subsampling, &colourspace),
              0);
    EXPECT_EQ(subsampling, TJSAMP_422);
    std::vector<std::uint8_t> peer(static_cast<std::size_t>(width) * height * 3);
    ASSERT_EQ(tjDecompress2(handle, stream.data(), static_cast<unsigned long>(stream.size()),
                            peer.data(), width, width * 3, height, TJPF_BGR,
                            TJFLAG_BOTTOMUP | TJFLAG_ACCURATEDCT | TJFLAG_FASTUPSAMPLE),
              0)
        << tjGetErrorStr2(handle);
    tjDestroy(handle);

    JpegDecoder decoder;
    const std::uint8_t* rows =
        decoder.DecodeMemory(stream.data(), static_cast<std::uint32_t>(stream.size()));
    ASSERT_NE(rows, nullptr);
    const int frameWidth = decoder.header().biWidth;
    const int frameHeight = decoder.header().biHeight;
    ASSERT_GE(frameWidth, width);
    ASSERT_GE(frameHeight, height);

    // Picture row y is buffer row frameHeight - 1 - y here and height - 1 - y there.
    double squares = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* ours =
            rows + static_cast<std::size_t>(frameHeight - 1 - y) * frameWidth * 3;
        const std::uint8_t* theirs =
            peer.data() + static_cast<std::size_t>(height - 1 - y) * width * 3;
        for (int i = 0; i < width * 3; ++i) {
            const double d = static_cast<double>(ours[i]) - theirs[i];
            squares += d * d;
        }
    }
    const double mse = squares / (3.0 * width * height);
    const double psnr = mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
    RecordProperty("psnr", std::to_string(psnr));
    std::printf("%s: PSNR %.2f dB\n", test::FixtureName(GetParam()).c_str(), psnr);
    EXPECT_GE(psnr, 40.0);
}

INSTANTIATE_TEST_SUITE_P(Pictures, JpegPeerCheck, testing::ValuesIn(test::FixturePaths()),
                         [](const auto& info) { return test::FixtureName(info.param); });

}  // namespace
}  // namespace vx
