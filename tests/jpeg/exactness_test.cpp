// The decoder's fast paths against the literal definition: the inverse DCT on
// random blocks, the colour conversion over every value the inverse DCT can give,
// and whole decodes of the test pictures and of random coefficient streams.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_kernels.h"
#include "tests/jpeg/fixtures.h"
#include "tests/jpeg/literal_decoder.h"
#include "tests/jpeg/stream_builder.h"

namespace vx {
namespace {

using Bytes = std::vector<std::uint8_t>;

unsigned NonzeroRows(const std::int32_t* block) {
    unsigned rows = 0;
    for (int n = 0; n < 64; ++n) {
        if (block[n] != 0) {
            rows |= 1u << (n / 8);
        }
    }
    return rows;
}

// Whether the row pass's results all fit in 16 bits (the decoder then takes a
// narrower column pass).
bool RowsFitSixteenBits(const std::int32_t* block) {
    for (int r = 0; r < 8; ++r) {
        for (int i = 0; i < 8; ++i) {
            std::uint32_t sum = 1024;
            for (int u = 0; u < 8; ++u) {
                sum += static_cast<std::uint32_t>(block[8 * r + u]) *
                       static_cast<std::uint32_t>(kIdctMatrix[i][u]);
            }
            const std::int32_t v = static_cast<std::int32_t>(sum) >> 11;
            if (v < -32768 || v > 32767) {
                return false;
            }
        }
    }
    return true;
}

TEST(JpegInverseDct, MatchesTheMatrixOnRandomBlocks) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<std::int32_t> any(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int> position(0, 63);
    int narrow = 0, wide = 0;
    // Kinds of block: only a DC value; the low-frequency corner; a few values
    // anywhere, small or as large as 8-bit pictures give; every value, small,
    // large, or hostile (sums wrap).
    for (int i = 0; i < 80000; ++i) {
        std::int32_t block[64] = {};
        const int kind = i % 8;
        const std::int32_t limits[8] = {0,   2047 * 255, 2000,    2047 * 255,
                                        600, 2047 * 255, 1 << 20, INT32_MAX};
        std::uniform_int_distribution<std::int32_t> value(-limits[kind], limits[kind]);
        switch (kind) {
            case 0:
                block[0] = any(rng);
                break;
            case 1:
                for (int n = 0; n < 64; ++n) {
                    if (n / 8 < 1 + i % 4 && n % 8 < 1 + i % 5) {
                        block[n] = value(rng) >> (n % 8 + n / 8);
                    }
                }
                break;
            case 2:
            case 3:
                for (int j = 0; j < 1 + i % 5; ++j) {
                    block[position(rng)] = value(rng);
                }
                break;
            default:
                for (auto& v : block) {
                    v = value(rng);
                }
                break;
        }
        (RowsFitSixteenBits(block) ? narrow : wide)++;
        std::int32_t expected[64];
        std::memcpy(expected, block, sizeof block);
        test::LiteralInverseDct(expected);
        for (unsigned mask : {NonzeroRows(block), 0xFFu}) {
            alignas(16) std::int32_t actual[64];
            std::memcpy(actual, block, sizeof block);
            InverseDct(actual, mask);
            ASSERT_EQ(0, std::memcmp(actual, expected, sizeof actual))
                << "block " << i << " kind " << kind << " mask " << mask;
        }
        for (std::int32_t v : expected) {
            ASSERT_TRUE(v >= -8192 && v <= 8191);
        }
    }
    EXPECT_GT(narrow, 20000);
    EXPECT_GT(wide, 20000);
}

struct ColourTerms {
    std::vector<int> blue, greenCb, greenCr, red;  // indexed by value + 8192
};

// The first pixel (16 r + c) of an MCU whose colours are not y (plus 1 in odd
// columns) with the products in `terms`, or -1. Hundreds of millions of pixels
// pass through here: the sanitizers watch the decoder, not this loop.
__attribute__((no_sanitize("address", "undefined"))) int FirstDifference(const std::uint8_t* out,
                                                                         int y,
                                                                         const std::int32_t* cb,
                                                                         const std::int32_t* cr,
                                                                         const ColourTerms& terms) {
    // Plain pointers and no helper calls: the sanitizers' checks would come back
    // with any function that is not inlined here.
    const int* blue = terms.blue.data() + 8192;
    const int* greenCb = terms.greenCb.data() + 8192;
    const int* greenCr = terms.greenCr.data() + 8192;
    const int* red = terms.red.data() + 8192;
    for (int p = 0; p < 128; ++p) {
        const int j = p / 16 * 8 + p % 16 / 2;
        const int yy = y + (p & 1);
        int v[3] = {yy + blue[cb[j]], yy - greenCb[cb[j]] - greenCr[cr[j]], yy + red[cr[j]]};
        for (int i = 0; i < 3; ++i) {
            v[i] = v[i] <= 0 ? 0 : v[i] >= 255 ? 255 : v[i];
            if (out[3 * p + i] != v[i]) {
                return p;
            }
        }
    }
    return -1;
}

// Every chroma value the inverse DCT can produce (-8192..8191, that is Cb - 128 and
// Cr - 128) with every luminance value it can produce, for each product: Cb with
// the blue and green products (Cr fixed), Cr with the red and green products (Cb
// fixed). Then random combinations of all three.
TEST(JpegColourConversion, MatchesDoubleProductsOverTheReachableRange) {
    constexpr int kLow = -8192;
    constexpr int kCount = 16384;
    ColourTerms terms;
    for (int i = 0; i < kCount; ++i) {
        const double d = kLow + i;
        terms.blue.push_back(static_cast<int>(std::trunc(1.772 * d)));
        terms.greenCb.push_back(static_cast<int>(std::trunc(0.34414 * d)));
        terms.greenCr.push_back(static_cast<int>(std::trunc(0.71414 * d)));
        terms.red.push_back(static_cast<int>(std::trunc(1.402 * d)));
    }
    alignas(16) std::int32_t y0[64], y1[64], cb[64], cr[64];
    std::uint8_t out[8 * 48];
    for (int sweep = 0; sweep < 2; ++sweep) {
        const int fixed = sweep == 0 ? 37 : -1203;  // the other chroma value
        for (int base = 0; base < kCount; base += 64) {
            for (int i = 0; i < 64; ++i) {
                (sweep == 0 ? cb : cr)[i] = kLow + base + i;
                (sweep == 0 ? cr : cb)[i] = fixed;
            }
            // Pixel column c of row r uses chroma sample 8r + c / 2; the two
            // pixels of a pair take luminance 2t and 2t + 1 above kLow.
            for (int t = 0; t < kCount / 2; ++t) {
                for (int n = 0; n < 64; ++n) {
                    y0[n] = y1[n] = kLow + 2 * t + (n & 1);
                }
                StoreMcu(y0, y1, cb, cr, out, 48);
                const int bad = FirstDifference(out, kLow + 2 * t + 128, cb, cr, terms);
                if (bad >= 0) {
                    FAIL() << "Y " << kLow + 2 * t + 128 + (bad % 16 & 1) << " Cb "
                           << cb[bad / 16 * 8 + bad % 16 / 2] + 128 << " Cr "
                           << cr[bad / 16 * 8 + bad % 16 / 2] + 128;
                }
            }
        }
    }
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> sample(-8192, 8191);
    // Chroma blocks may be flat (DC-only), which the decoder announces: neither,
    // Cb, Cr, or both.
    for (int i = 0; i < 20000; ++i) {
        const bool flatCb = i % 4 == 1 || i % 4 == 3;
        const bool flatCr = i % 4 >= 2;
        const int cbValue = sample(rng), crValue = sample(rng);
        for (int n = 0; n < 64; ++n) {
            y0[n] = sample(rng);
            y1[n] = sample(rng);
            cb[n] = flatCb ? cbValue : sample(rng) >> (i % 6);
            cr[n] = flatCr ? crValue : sample(rng) >> (i % 5);
        }
        StoreMcu(y0, y1, cb, cr, out + 7 * 48, -48, flatCb, flatCr);  // bottom-up, as decoded
        for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < 16; ++c) {
                const int j = 8 * r + c / 2;
                std::uint8_t expected[3];
                test::LiteralColour((c < 8 ? y0[8 * r + c] : y1[8 * r + c - 8]) + 128, cb[j] + 128,
                                    cr[j] + 128, expected);
                ASSERT_EQ(0, std::memcmp(out + 48 * (7 - r) + 3 * c, expected, 3));
            }
        }
    }
}

void ExpectSameAsLiteral(const JpegDecoder& decoder, const std::uint8_t* rows,
                         const test::LiteralPicture& literal) {
    ASSERT_EQ(rows != nullptr, literal.ok);
    if (rows == nullptr) {
        return;
    }
    ASSERT_EQ(decoder.header().biWidth, literal.width);
    ASSERT_EQ(decoder.header().biHeight, literal.height);
    ASSERT_EQ(decoder.header().biSizeImage, literal.pixels.size());
    EXPECT_EQ(0, std::memcmp(rows, literal.pixels.data(), literal.pixels.size()));
}

class JpegFixtureExactness : public testing::TestWithParam<std::string> {};

TEST_P(JpegFixtureExactness, DecodesByteForByteAsTheLiteralDefinition) {
    const Bytes stream = test::ReadFileBytes(GetParam());
    const auto length = static_cast<std::uint32_t>(stream.size());
    JpegDecoder memory;
    const std::uint8_t* rows = memory.DecodeMemory(stream.data(), length);
    ASSERT_NE(rows, nullptr);
    ExpectSameAsLiteral(memory, rows, test::LiteralDecodeMemory(stream.data(), length));
    JpegDecoder file;
    rows = file.DecodeFile(GetParam());
    ASSERT_NE(rows, nullptr);
    ExpectSameAsLiteral(file, rows, test::LiteralDecodeFileBytes(stream.data(), length));
}

INSTANTIATE_TEST_SUITE_P(Pictures, JpegFixtureExactness, testing::ValuesIn(test::FixturePaths()),
                         [](const auto& info) { return test::FixtureName(info.param); });

TEST(JpegFixtures, LargePicturesWereGenerated) {
    if (!VX_JPEG_LARGE_EXPECTED) {
        GTEST_SKIP() << "the build could not generate the large pictures";
    }
    int large = 0;
    for (const auto& path : test::FixturePaths()) {
        large += path.find("1792x1200_q90") != std::string::npos;
    }
    EXPECT_EQ(large, 1);
}

// Random pictures of random size with random quantisation tables: every coefficient
// size, run and code length of the tables occurs.
TEST(JpegRandomStreams, DecodeByteForByteAsTheLiteralDefinition) {
    std::mt19937 rng(2917);
    for (int picture = 0; picture < 300; ++picture) {
        const int width = std::uniform_int_distribution<int>(1, 72)(rng);
        const int height = std::uniform_int_distribution<int>(1, 40)(rng);
        const int mcus = (width + 15) / 16 * ((height + 7) / 8);
        const double density = std::uniform_real_distribution<double>(0.02, 0.9)(rng);
        std::vector<test::Block> blocks;
        for (int i = 0; i < 4 * mcus; ++i) {
            test::Block block{};
            block[0] = std::uniform_int_distribution<int>(-1024, 1023)(rng);
            for (int k = 1; k < 64; ++k) {
                if (std::bernoulli_distribution(density / (1 + k / 8))(rng)) {
                    const int size = std::uniform_int_distribution<int>(1, 10)(rng);
                    const int magnitude =
                        std::uniform_int_distribution<int>(1 << (size - 1), (1 << size) - 1)(rng);
                    block[k] = std::bernoulli_distribution(0.5)(rng) ? magnitude : -magnitude;
                }
            }
            blocks.push_back(block);
        }
        std::array<std::uint8_t, 64> quant[2];
        for (auto& table : quant) {
            const int top = std::uniform_int_distribution<int>(1, 255)(rng);
            for (auto& q : table) {
                q = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(1, top)(rng));
            }
        }
        test::StreamBuilder s;
        s.Soi().Dqt(0, quant[0]).Dqt(1, quant[1]).Sof0(width, height).DefaultTables().Sos();
        const Bytes stream = s.Mcus(blocks).Eoi().bytes();
        const auto length = static_cast<std::uint32_t>(stream.size());
        JpegDecoder decoder;
        const std::uint8_t* rows = decoder.DecodeMemory(stream.data(), length);
        ASSERT_NE(rows, nullptr) << "picture " << picture;
        SCOPED_TRACE(picture);
        ExpectSameAsLiteral(decoder, rows, test::LiteralDecodeMemory(stream.data(), length));
    }
}

}  // namespace
}  // namespace vx
