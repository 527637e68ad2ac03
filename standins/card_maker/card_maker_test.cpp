// Runs scripts/make-card on ImageMagick's built-in pictures and checks the card it
// makes: the names, the JPEG kind of every file, the thumbnail's place and padding, and
// that the virtual camera serves it as a card.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "jpeg/jpeg_decoder.h"
#include "standins/virtual_camera/card.h"

namespace vx::virtualcam {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The frame header of a JPEG stream: its marker and each component's sampling byte.
struct Frame {
    std::uint8_t marker = 0;
    std::vector<std::uint8_t> sampling;
};

Frame FindFrame(const std::uint8_t* p, std::size_t n) {
    Frame frame;
    for (std::size_t i = 2; i + 3 < n;) {
        if (p[i] != 0xFF)
            break;
        const std::uint8_t marker = p[i + 1];
        const std::size_t length = p[i + 2] << 8 | p[i + 3];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            frame.marker = marker;
            const std::size_t components = p[i + 9];
            for (std::size_t c = 0; c < components && i + 12 + 3 * c < n; ++c) {
                frame.sampling.push_back(p[i + 11 + 3 * c]);
            }
            return frame;
        }
        i += 2 + length;
    }
    return frame;
}

class CardMaker : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("vx-card-maker-" + std::to_string(getpid()));
        fs::remove_all(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    // The listing the maker printed.
    std::string Make(const std::string& options) {
        const std::string command = std::string(VX_MAKE_CARD) + " " + folder_.string() + " " +
                                    options + " > " + folder_.string() + ".listing";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        std::ifstream in(folder_.string() + ".listing");
        std::string listing((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fs::remove(folder_.string() + ".listing");
        return listing;
    }

    fs::path folder_;
};

TEST_F(CardMaker, MakesPicturesAndThumbnailsAsTheCameraStoresThem) {
    const std::string listing = Make("--count 5 --prefix ABC --size 320x240 logo: rose:");

    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        names.insert(entry.path().filename().string());
    }
    const std::set<std::string> expected = {
        "SABC0001.JPG", "SABC0002.JPG", "SABC0003.JPG", "SABC0004.JPG", "SABC0005.JPG",
        "TABC0001.JPG", "TABC0002.JPG", "TABC0003.JPG", "TABC0004.JPG", "TABC0005.JPG"};
    ASSERT_EQ(names, expected);

    std::string expectedListing;
    std::set<std::string> pictures;  // the files' bytes, to see that no two are alike
    for (int n = 1; n <= 5; ++n) {
        const std::string key = "ABC000" + std::to_string(n);
        const std::vector<std::uint8_t> picture = ReadFile(folder_ / ("S" + key + ".JPG"));
        expectedListing += "S" + key + " " + std::to_string(picture.size()) + "\n";
        pictures.insert(std::string(picture.begin(), picture.end()));

        // Baseline, three components, Y sampled 2 x 1 and the colours 1 x 1.
        const Frame frame = FindFrame(picture.data(), picture.size());
        EXPECT_EQ(frame.marker, 0xC0) << key;
        EXPECT_EQ(frame.sampling, (std::vector<std::uint8_t>{0x21, 0x11, 0x11})) << key;
        JpegDecoder decoder;
        ASSERT_NE(decoder.DecodeMemory(picture.data(), picture.size()), nullptr) << key;
        EXPECT_EQ(decoder.header().biWidth, 320) << key;
        EXPECT_EQ(decoder.header().biHeight, 240) << key;

        // The thumbnail stream from byte 2123, zeros before it, padded to 28672 bytes.
        const std::vector<std::uint8_t> thumbnail = ReadFile(folder_ / ("T" + key + ".JPG"));
        ASSERT_EQ(thumbnail.size(), 28672u) << key;
        EXPECT_TRUE(std::all_of(thumbnail.begin(), thumbnail.begin() + 2123, [](std::uint8_t b) {
            return b == 0;
        })) << key;
        const std::uint8_t* stream = thumbnail.data() + 2123;
        const std::size_t streamSize = thumbnail.size() - 2123;
        EXPECT_EQ(FindFrame(stream, streamSize).sampling,
                  (std::vector<std::uint8_t>{0x21, 0x11, 0x11}))
            << key;
        JpegDecoder thumbDecoder;
        ASSERT_NE(thumbDecoder.DecodeMemory(stream, streamSize), nullptr) << key;
        EXPECT_EQ(thumbDecoder.header().biWidth, 160) << key;
        EXPECT_EQ(thumbDecoder.header().biHeight, 120) << key;
    }
    // Two sources used in turn, yet every picture's bytes differ.
    EXPECT_EQ(pictures.size(), 5u);
    EXPECT_EQ(listing, expectedListing);

    // The virtual camera lists exactly these pictures with their sizes.
    const std::optional<Card> card = Card::FromFolder(folder_);
    ASSERT_TRUE(card.has_value());
    const std::vector<CardRecord> directory = card->Directory();
    ASSERT_EQ(directory.size(), 5u);
    EXPECT_EQ(std::string(directory[4].name.data() + 1, 7), "ABC0005");
    EXPECT_EQ(directory[4].size, ReadFile(folder_ / "SABC0005.JPG").size());
}

TEST_F(CardMaker, RefusesWhatWouldNotMakeACameraName) {
    const std::string command =
        std::string(VX_MAKE_CARD) + " " + folder_.string() + " --prefix ABCD logo: 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_FALSE(fs::exists(folder_ / "SABCD001.JPG"));
}

}  // namespace
}  // namespace vx::virtualcam
