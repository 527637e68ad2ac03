// JpegDecoder through its public interface: the header, the pixels of small
// streams whose values can be worked out by hand, the markers it steps over,
// the streams it refuses, memory failure and files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "jpeg/jpeg_decoder.h"
#include "tests/jpeg/literal_decoder.h"
#include "tests/jpeg/stream_builder.h"

namespace vx {
namespace {

using test::Block;
using test::BuildPicture;
using test::StreamBuilder;
using Bytes = std::vector<std::uint8_t>;

Block Dc(int dc) {
    Block b{};
    b[0] = dc;
    return b;
}

// MCUs of uniform blocks: Y0 and Y1 with `y`, Cb and Cr with `cb` and `cr` (DC values).
std::vector<Block> UniformMcus(int count, int y, int cb = 0, int cr = 0) {
    std::vector<Block> blocks;
    for (int i = 0; i < count; ++i) {
        for (int dc : {y, y, cb, cr}) {
            blocks.push_back(Dc(dc));
        }
    }
    return blocks;
}

Bytes Decode(const Bytes& stream, JpegStatus* status = nullptr) {
    JpegDecoder decoder;
    const std::uint8_t* rows =
        decoder.DecodeMemory(stream.data(), static_cast<std::uint32_t>(stream.size()));
    if (status != nullptr) {
        *status = decoder.status();
    }
    if (rows == nullptr) {
        return {};
    }
    return Bytes(rows, rows + decoder.header().biSizeImage);
}

// The pixel at (x, y) from the top-left, in bottom-up rows of `width` pixels.
std::array<int, 3> PixelAt(const Bytes& rows, int width, int height, int x, int y) {
    const std::size_t at = (static_cast<std::size_t>(height - 1 - y) * width + x) * 3;
    return {rows.at(at), rows.at(at + 1), rows.at(at + 2)};
}

// Blocks filled with a pattern, as memory with any contents could be.
void* GarbageAllocate(std::size_t bytes) {
    void* block = std::malloc(bytes);
    if (block != nullptr) {
        std::memset(block, 0xA5, bytes);
    }
    return block;
}
const JpegMemory kGarbageMemory{&GarbageAllocate, &std::free};

TEST(JpegDecoderHeader, FrameEnlargedToWholeMcus) {
    const struct {
        int width, height, frameWidth, frameHeight;
    } cases[] = {
        {16, 8, 16, 8}, {100, 75, 112, 80}, {33, 17, 48, 24}, {640, 480, 640, 480}, {1, 1, 16, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const Bytes stream = BuildPicture(c.width, c.height,
                                          UniformMcus(c.frameWidth / 16 * (c.frameHeight / 8), 0));
        JpegDecoder decoder(kGarbageMemory);
        const std::uint8_t* rows =
            decoder.DecodeMemory(stream.data(), static_cast<std::uint32_t>(stream.size()));
        ASSERT_NE(rows, nullptr);
        EXPECT_EQ(rows, decoder.pixels());
        EXPECT_EQ(decoder.status(), JpegStatus::Ok);
        // The scan writes every pixel of the frame, padding included: grey here.
        const std::size_t bytes = static_cast<std::size_t>(c.frameWidth) * c.frameHeight * 3;
        EXPECT_TRUE(std::all_of(rows, rows + bytes, [](std::uint8_t v) { return v == 128; }));
        BitmapInfoHeader expected;
        expected.biWidth = c.frameWidth;
        expected.biHeight = c.frameHeight;
        expected.biSizeImage = static_cast<std::uint32_t>(c.frameWidth * c.frameHeight * 3);
        expected.biXPelsPerMeter = 2835;
        expected.biYPelsPerMeter = 2835;
        EXPECT_EQ(decoder.header(), expected);
    }
}

// Uniform blocks: a DC of d gives the sample floor(d / 8 + 1/2) before the level shift.
TEST(JpegDecoderPixels, UniformBlocksGiveWorkedOutColours) {
    const struct {
        const char* name;
        int y, cb, cr;
        std::array<int, 3> bgr;
    } cases[] = {
        {"grey", 0, 0, 0, {128, 128, 128}},
        {"dc 100 gives 13, 141 after the level shift", 100, 0, 0, {141, 141, 141}},
        {"red limited: Y 250, Cr 228", 976, 0, 800, {250, 250 - 71, 255}},
        {"blue product truncated toward zero", 0, -80, 0, {128 - 17, 128 + 3, 128}},
        {"limited at zero: Y 0, Cr 0", -1024, 0, -1024, {0, 91, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes rows = Decode(BuildPicture(16, 8, UniformMcus(1, c.y, c.cb, c.cr)));
        ASSERT_EQ(rows.size(), 16u * 8 * 3);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 16; ++x) {
                ASSERT_EQ(PixelAt(rows, 16, 8, x, y), c.bgr) << "at " << x << "," << y;
            }
        }
    }
}

TEST(JpegDecoderPixels, DcPredictionSharedByBothLuminanceBlocksAndCarriedAcrossMcus) {
    // Left Y DC 160 (sample 20), right 320 (40): the right block is coded as a
    // difference to the left one. The second MCU repeats the values, so its
    // first difference is 160 - 320 and its chroma differences are 0 (size 0).
    const std::vector<Block> blocks = {Dc(160), Dc(320), Dc(80), Dc(-80),
                                       Dc(160), Dc(320), Dc(80), Dc(-80)};
    const Bytes rows = Decode(BuildPicture(32, 8, blocks));
    ASSERT_FALSE(rows.empty());
    for (int mcu = 0; mcu < 2; ++mcu) {
        SCOPED_TRACE(mcu);
        // Cb - 128 = 10, Cr - 128 = -10.
        EXPECT_EQ(PixelAt(rows, 32, 8, 16 * mcu + 3, 4),
                  (std::array<int, 3>{148 + 17, 148 - 3 + 7, 148 - 14}));
        EXPECT_EQ(PixelAt(rows, 32, 8, 16 * mcu + 12, 4),
                  (std::array<int, 3>{168 + 17, 168 - 3 + 7, 168 - 14}));
    }
}

TEST(JpegDecoderPixels, McusPlacedLeftToRightTopToBottomInBottomUpRows) {
    // A 32 x 16 picture: four MCUs with Y samples 10, 20, 30, 40 before the level shift.
    std::vector<Block> blocks;
    for (int level : {80, 160, 240, 320}) {
        for (int dc : {level, level, 0, 0}) {
            blocks.push_back(Dc(dc));
        }
    }
    const Bytes rows = Decode(BuildPicture(32, 16, blocks));
    ASSERT_EQ(rows.size(), 32u * 16 * 3);
    const int expected[2][2] = {{138, 148}, {158, 168}};
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            // Buffer row 0 is the picture's bottom row.
            const std::size_t at = (static_cast<std::size_t>(15 - y) * 32 + x) * 3;
            ASSERT_EQ(rows[at], expected[y / 8][x / 16]) << x << "," << y;
        }
    }
}

TEST(JpegDecoderPixels, TopRowOfSingleMcuGoesToLastBufferRow) {
    // One vertical cosine: row frequency 1 (zig-zag index 2), so the top and the
    // bottom picture rows differ.
    Block y{};
    y[2] = 40;
    const Bytes rows = Decode(BuildPicture(16, 8, {y, y, Dc(0), Dc(0)}));
    ASSERT_EQ(rows.size(), 16u * 8 * 3);
    std::int32_t samples[64] = {};
    samples[8] = 40;
    test::LiteralInverseDct(samples);
    EXPECT_NE(samples[0], samples[56]);
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(rows[(7 - r) * 48], samples[8 * r] + 128) << "picture row " << r;
    }
}

TEST(JpegDecoderPixels, EndOfBlockAndSixteenZerosEndBlocks) {
    // A block whose last coefficients are coded with sixteen zeros at k = 48 and
    // nothing after it, against the same block coded with an end of block.
    const test::EntropyCoder luma(test::LumaDcTable(), test::LumaAcTable());
    const test::EntropyCoder chroma(test::ChromaDcTable(), test::ChromaAcTable());
    auto stream = [&](bool sixteenZeros) {
        test::BitWriter w;
        luma.PutDcDifference(w, 40);
        luma.PutAc(w, 0, 5);    // k = 1
        luma.PutAc(w, 15, -3);  // k = 17
        luma.PutAc(w, 15, 2);   // k = 33
        luma.PutAc(w, 13, 7);   // k = 47
        if (sixteenZeros) {
            luma.PutSixteenZeros(w);  // k = 48 .. 63
        } else {
            luma.PutEndOfBlock(w);
        }
        luma.PutDcDifference(w, 0);
        luma.PutEndOfBlock(w);
        for (int i = 0; i < 2; ++i) {
            chroma.PutDcDifference(w, 0);
            chroma.PutEndOfBlock(w);
        }
        StreamBuilder s;
        s.Soi().DqtFlat(0, 1).DqtFlat(1, 1).Sof0(16, 8).DefaultTables().Sos().Raw(w.Finish()).Eoi();
        return s.bytes();
    };
    const Bytes withEob = Decode(stream(false));
    const Bytes withZeros = Decode(stream(true));
    ASSERT_FALSE(withEob.empty());
    EXPECT_EQ(withEob, withZeros);
    Block expected{};
    expected[0] = 40;
    expected[1] = 5;
    expected[17] = -3;
    expected[33] = 2;
    expected[47] = 7;
    EXPECT_EQ(withEob, Decode(BuildPicture(16, 8, {expected, Dc(40), Dc(0), Dc(0)})));
}

// Streams that must decode exactly as the plain one does.
TEST(JpegDecoderMarkers, SkippedAndRepeatedSegmentsLeaveThePictureUnchanged) {
    const std::vector<Block> blocks = {Dc(300), Dc(-200), Dc(50), Dc(-70)};
    const Bytes plain = Decode(BuildPicture(16, 8, blocks));
    ASSERT_FALSE(plain.empty());
    auto withTail = [&](StreamBuilder s) { return s.Mcus(blocks).Eoi().bytes(); };
    auto head = [] { return StreamBuilder().Soi(); };
    const struct {
        const char* name;
        Bytes stream;
    } cases[] = {
        {"APP1 of length 2", withTail(head()
                                          .Segment(0xE1, {})
                                          .DqtFlat(0, 1)
                                          .DqtFlat(1, 1)
                                          .Sof0(16, 8)
                                          .DefaultTables()
                                          .Sos())},
        {"APP1 of 1000 bytes holding FF D9", withTail(head()
                                                          .Segment(0xE1, Bytes(998, 0xFF))
                                                          .DqtFlat(0, 1)
                                                          .DqtFlat(1, 1)
                                                          .Sof0(16, 8)
                                                          .DefaultTables()
                                                          .Sos())},
        {"APP14, COM, DRI and DNL", withTail(head()
                                                 .Segment(0xEE, {1, 2})
                                                 .Segment(0xFE, {'h', 'i'})
                                                 .Segment(0xDD, {0, 4})
                                                 .DqtFlat(0, 1)
                                                 .DqtFlat(1, 1)
                                                 .Sof0(16, 8)
                                                 .Segment(0xDC, {0, 8})
                                                 .DefaultTables()
                                                 .Sos())},
        {"two tables in one DQT",
         [&] {
             StreamBuilder s = head();
             Bytes payload = {0};
             payload.insert(payload.end(), 64, 1);
             payload.push_back(1);
             payload.insert(payload.end(), 64, 1);
             s.Segment(0xDB, payload).Sof0(16, 8).DefaultTables().Sos();
             return withTail(s);
         }()},
        {"four tables in one DHT",
         [&] {
             StreamBuilder s = head();
             s.DqtFlat(0, 1).DqtFlat(1, 1).Sof0(16, 8);
             Bytes payload;
             const std::pair<int, test::HuffmanTableBytes> tables[] = {
                 {0x00, test::LumaDcTable()},
                 {0x01, test::ChromaDcTable()},
                 {0x10, test::LumaAcTable()},
                 {0x11, test::ChromaAcTable()}};
             for (const auto& [id, huffman] : tables) {
                 payload.push_back(static_cast<std::uint8_t>(id));
                 payload.insert(payload.end(), huffman.counts.begin(), huffman.counts.end());
                 payload.insert(payload.end(), huffman.symbols.begin(), huffman.symbols.end());
             }
             s.Segment(0xC4, payload).Sos();
             return withTail(s);
         }()},
        {"a second DHT for DC 0 replaces the first", withTail(head()
                                                                  .DqtFlat(0, 1)
                                                                  .DqtFlat(1, 1)
                                                                  .Sof0(16, 8)
                                                                  .Dht(0, 0, test::ChromaDcTable())
                                                                  .DefaultTables()
                                                                  .Sos())},
        {"tables after the frame header and a repeated SOF0",
         withTail(
             head().Sof0(640, 480).Sof0(16, 8).DefaultTables().DqtFlat(0, 1).DqtFlat(1, 1).Sos())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(c.stream), plain);
    }
}

TEST(JpegDecoderMarkers, EntropyDataStartingWithStuffedFFIsDecodedFromThatByte) {
    // A luminance DC of size 11 starts with eight one bits: the data begins FF 00.
    const Bytes stream = BuildPicture(16, 8, {Dc(2047), Dc(0), Dc(0), Dc(0)});
    std::size_t data = 0;
    for (std::size_t i = 0; i + 1 < stream.size(); ++i) {
        if (stream[i] == 0xFF && stream[i + 1] == 0xDA) {
            data = i + 2 + ((stream[i + 2] << 8) | stream[i + 3]);
        }
    }
    ASSERT_EQ(stream.at(data), 0xFF);
    ASSERT_EQ(stream.at(data + 1), 0x00);
    const Bytes rows = Decode(stream);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(PixelAt(rows, 16, 8, 0, 0),
              (std::array<int, 3>{255, 255, 255}));  // 256 + 128, limited
    EXPECT_EQ(PixelAt(rows, 16, 8, 15, 7), (std::array<int, 3>{128, 128, 128}));
}

// A stream of the camera's kind assembled from parts, any of which a case replaces.
struct Parts {
    Bytes soi = {0xFF, 0xD8};
    Bytes dqt = StreamBuilder().DqtFlat(0, 2).DqtFlat(1, 3).bytes();
    Bytes sof = StreamBuilder().Sof0(32, 8).bytes();
    Bytes dht = StreamBuilder().DefaultTables().bytes();
    Bytes sos = StreamBuilder().Sos().bytes();
    Bytes data = StreamBuilder()
                     .Mcus({Dc(100), Dc(20), Dc(30), Dc(40), Dc(50), Dc(60), Dc(70), Dc(80)})
                     .bytes();
    Bytes eoi = {0xFF, 0xD9};

    Bytes Join() const {
        Bytes out;
        for (const Bytes* part : {&soi, &dqt, &sof, &dht, &sos, &data, &eoi}) {
            out.insert(out.end(), part->begin(), part->end());
        }
        return out;
    }
};

Bytes Sof(std::vector<std::uint8_t> payload) {
    return StreamBuilder().Segment(0xC0, payload).bytes();
}

TEST(JpegDecoderRefuses, StreamsOutsideTheSubsetOrBroken) {
    ASSERT_FALSE(Decode(Parts().Join()).empty());
    const test::EntropyCoder luma(test::LumaDcTable(), test::LumaAcTable());
    const struct {
        const char* name;
        std::function<void(Parts&)> change;
    } cases[] = {
        {"no SOF0", [](Parts& p) { p.sof.clear(); }},
        {"no DQT", [](Parts& p) { p.dqt.clear(); }},
        {"no DHT", [](Parts& p) { p.dht.clear(); }},
        {"AC table 1 missing",
         [](Parts& p) {
             p.dht = StreamBuilder()
                         .Dht(0, 0, test::LumaDcTable())
                         .Dht(1, 0, test::LumaAcTable())
                         .Dht(0, 1, test::ChromaDcTable())
                         .bytes();
         }},
        {"quantisation table 1 missing",
         [](Parts& p) { p.dqt = StreamBuilder().DqtFlat(0, 2).bytes(); }},
        {"no SOS", [](Parts& p) { p.sos.clear(); }},
        {"SOI again after the tables",
         [](Parts& p) {
             p.sos.insert(p.sos.begin(), {0xFF, 0xD8});
         }},
        {"SOF2 before the scan", [](Parts& p) { p.sof[1] = 0xC2; }},
        {"RST0 before the scan",
         [](Parts& p) {
             p.sos.insert(p.sos.begin(), {0xFF, 0xD0});
         }},
        {"APP15 before the scan",
         [](Parts& p) {
             p.dqt.insert(p.dqt.begin(), {0xFF, 0xEF, 0, 2});
         }},
        {"fill byte before a marker", [](Parts& p) { p.dqt.insert(p.dqt.begin(), 0xFF); }},
        {"garbage between segments", [](Parts& p) { p.dqt.insert(p.dqt.begin(), 0x00); }},
        {"component identifier 0",
         [](Parts& p) {
             p.sof = Sof({8, 0, 8, 0, 32, 3, 0, 0x21, 0, 2, 0x11, 1, 3, 0x11, 1});
         }},
        {"component identifier 4",
         [](Parts& p) {
             p.sof = Sof({8, 0, 8, 0, 32, 3, 1, 0x21, 0, 2, 0x11, 1, 4, 0x11, 1});
         }},
        {"quantisation table number 2 in SOF0",
         [](Parts& p) {
             p.sof = Sof({8, 0, 8, 0, 32, 3, 1, 0x21, 0, 2, 0x11, 2, 3, 0x11, 1});
         }},
        {"one component",
         [](Parts& p) {
             p.sof = Sof({8, 0, 8, 0, 32, 1, 1, 0x21, 0});
         }},
        {"four components",
         [](Parts& p) {
             p.sof = Sof({8, 0, 8, 0, 32, 4, 1, 0x21, 0, 2, 0x11, 1, 3, 0x11, 1, 4, 0x11, 1});
         }},
        {"SOF0 shorter than its components",
         [](Parts& p) {
             p.sof = Sof({8, 0, 8, 0, 32, 3, 1, 0x21, 0, 2, 0x11, 1, 3, 0x11});
         }},
        {"width 0", [](Parts& p) { p.sof = StreamBuilder().Sof0(0, 8).bytes(); }},
        {"height 0", [](Parts& p) { p.sof = StreamBuilder().Sof0(32, 0).bytes(); }},
        {"width above the limit",
         [](Parts& p) { p.sof = StreamBuilder().Sof0(JpegDecoder::kMaxFrameSide + 1, 8).bytes(); }},
        {"height above the limit",
         [](Parts& p) {
             p.sof = StreamBuilder().Sof0(32, JpegDecoder::kMaxFrameSide + 1).bytes();
         }},
        {"4:2:0 sampling",
         [](Parts& p) {
             p.sof = Sof({8, 0, 8, 0, 32, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
         }},
        {"4:4:4 sampling",
         [](Parts& p) {
             p.sof = Sof({8, 0, 8, 0, 32, 3, 1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1});
         }},
        {"chroma sampled 2 x 1",
         [](Parts& p) {
             p.sof = Sof({8, 0, 8, 0, 32, 3, 1, 0x21, 0, 2, 0x21, 1, 3, 0x11, 1});
         }},
        {"DHT class 2",
         [](Parts& p) { p.dht = StreamBuilder().Dht(2, 0, test::LumaDcTable()).bytes(); }},
        {"DHT number 2",
         [](Parts& p) { p.dht = StreamBuilder().Dht(0, 2, test::LumaDcTable()).bytes(); }},
        {"DHT symbols past the segment",
         [](Parts& p) {
             p.dht =
                 StreamBuilder()
                     .Segment(0xC4, {0x00, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2})
                     .bytes();
         }},
        {"DQT number 2",
         [](Parts& p) {
             p.dqt = StreamBuilder().DqtFlat(0, 2).DqtFlat(1, 3).DqtFlat(2, 3).bytes();
         }},
        {"16-bit DQT",
         [](Parts& p) { p.dqt = StreamBuilder().DqtFlat(0, 2).DqtFlat(0x11, 3).bytes(); }},
        {"DQT shorter than its table", [](Parts& p) { p.dqt[3] -= 1; }},
        {"scan selects DC table 2",
         [](Parts& p) { p.sos = StreamBuilder().Sos(0x00, 0x21, 0x11).bytes(); }},
        {"scan selects AC table 3",
         [](Parts& p) { p.sos = StreamBuilder().Sos(0x00, 0x11, 0x13).bytes(); }},
        {"SOS too short for three selectors",
         [](Parts& p) {
             p.sos = StreamBuilder().Segment(0xDA, {3, 1, 0, 2, 0x11}).bytes();
         }},
        {"segment length past the end",
         [](Parts& p) {
             p.sos.clear();
             p.data.clear();
             p.eoi = {0xFF, 0xE1, 0x01, 0x00, 1, 2, 3};
         }},
        {"segment length below 2",
         [](Parts& p) {
             p.dqt.insert(p.dqt.begin(), {0xFF, 0xE1, 0x00, 0x01});
         }},
        {"run carries k past 63",
         [&](Parts& p) {
             test::BitWriter w;
             luma.PutDcDifference(w, 1);
             luma.PutAc(w, 15, 1);  // at k = 16
             luma.PutAc(w, 15, 1);  // at k = 32
             luma.PutAc(w, 15, 1);  // at k = 48
             luma.PutAc(w, 15, 1);  // at k = 64: past the block
             p.data = w.Finish();
         }},
        {"sixteen zeros at k = 50",
         [&](Parts& p) {
             test::BitWriter w;
             luma.PutDcDifference(w, 1);
             for (int k = 1; k < 50; ++k) {
                 luma.PutAc(w, 0, 1);
             }
             luma.PutSixteenZeros(w);
             p.data = w.Finish();
         }},
        {"entropy data cut short",
         [](Parts& p) {
             p.data.resize(p.data.size() / 2);
             p.eoi.clear();
         }},
        {"entropy data cut short before EOI", [](Parts& p) { p.data.resize(p.data.size() / 2); }},
        {"code that no table row holds", [](Parts& p) { p.data.assign(p.data.size(), 0xFF); }},
        {"DC size above 16",
         [](Parts& p) {
             test::HuffmanTableBytes dc = test::LumaDcTable();
             dc.symbols[0] = 17;  // the one code of length 2, "00"
             p.dht = StreamBuilder()
                         .Dht(0, 0, dc)
                         .Dht(1, 0, test::LumaAcTable())
                         .Dht(0, 1, test::ChromaDcTable())
                         .Dht(1, 1, test::ChromaAcTable())
                         .bytes();
             p.data.assign(40, 0x00);
         }},
        {"no SOI", [](Parts& p) { p.soi.clear(); }},
        {"EOI first",
         [](Parts& p) {
             p.soi = {0xFF, 0xD9};
         }},
        {"ends before SOF0",
         [](Parts& p) {
             p.sof.clear();
             p.dht.clear();
             p.sos.clear();
             p.data.clear();
             p.eoi.clear();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Parts parts;
        c.change(parts);
        const Bytes stream = parts.Join();
        JpegStatus status = JpegStatus::Ok;
        EXPECT_TRUE(Decode(stream, &status).empty());
        EXPECT_EQ(status, JpegStatus::NotDecodable);
        // The literal definition, with the same decisions, agrees.
        EXPECT_FALSE(
            test::LiteralDecodeMemory(stream.data(), static_cast<std::uint32_t>(stream.size())).ok);
    }
}

TEST(JpegDecoderRefuses, NullTooShortOrTooLongInput) {
    JpegDecoder decoder;
    const std::uint8_t soi[] = {0xFF, 0xD8};
    // A length above the limit is refused before anything past it is read.
    EXPECT_EQ(decoder.DecodeMemory(soi, 0x40000001), nullptr);
    EXPECT_EQ(decoder.status(), JpegStatus::NotDecodable);
    EXPECT_EQ(decoder.DecodeMemory(nullptr, 100), nullptr);
    EXPECT_EQ(decoder.status(), JpegStatus::NotDecodable);
    EXPECT_EQ(decoder.DecodeMemory(soi, 1), nullptr);
    EXPECT_EQ(decoder.DecodeMemory(soi, 2), nullptr);
    EXPECT_EQ(decoder.status(), JpegStatus::NotDecodable);
}

// A stream that ends, or meets EOI, after the frame header but before any scan
// yields the frame's size in black, as the camera software always did; memory
// that came with other contents is cleared.
TEST(JpegDecoderPixels, StreamEndingBeforeTheScanGivesABlackFrame) {
    Parts ending;
    ending.sos.clear();
    ending.data.clear();
    ending.eoi.clear();
    Parts withEoi = ending;
    withEoi.eoi = {0xFF, 0xD9};
    for (const Parts& p : {ending, withEoi}) {
        const Bytes stream = p.Join();
        JpegDecoder decoder(kGarbageMemory);
        const std::uint8_t* rows =
            decoder.DecodeMemory(stream.data(), static_cast<std::uint32_t>(stream.size()));
        ASSERT_NE(rows, nullptr);
        EXPECT_EQ(decoder.status(), JpegStatus::Ok);
        EXPECT_EQ(Bytes(rows, rows + decoder.header().biSizeImage), Bytes(32 * 8 * 3, 0));
    }
}

// Allocations counted; the one numbered `failAt` (from 1) fails.
struct CountingMemory {
    static inline int count = 0;
    static inline int failAt = 0;
    static void* Allocate(std::size_t bytes) {
        return ++count == failAt ? nullptr : std::calloc(bytes, 1);
    }
    static void Release(void* block) { std::free(block); }
    static JpegMemory Make(int fail) {
        count = 0;
        failAt = fail;
        return {&Allocate, &Release};
    }
};

class TempFile {
  public:
    explicit TempFile(const Bytes& bytes) {
        // Test cases run in parallel processes: a random name keeps their files apart.
        path_ = (std::filesystem::temp_directory_path() /
                 ("vx_jpeg_test_" + std::to_string(std::random_device()()) + ".jpg"))
                    .string();
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

TEST(JpegDecoderMemory, FailedAllocationIsReportedNotFatal) {
    const Bytes stream = Parts().Join();
    {
        JpegDecoder decoder(CountingMemory::Make(1));  // the pixel rows
        EXPECT_EQ(decoder.DecodeMemory(stream.data(), static_cast<std::uint32_t>(stream.size())),
                  nullptr);
        EXPECT_EQ(decoder.status(), JpegStatus::NoMemory);
        EXPECT_EQ(decoder.pixels(), nullptr);
    }
    const TempFile file(stream);
    for (int failAt : {1, 2}) {  // the file buffer, then the pixel rows
        SCOPED_TRACE(failAt);
        JpegDecoder decoder(CountingMemory::Make(failAt));
        EXPECT_EQ(decoder.DecodeFile(file.path()), nullptr);
        EXPECT_EQ(decoder.status(), JpegStatus::NoMemory);
    }
    JpegDecoder decoder(CountingMemory::Make(0));
    EXPECT_NE(decoder.DecodeFile(file.path()), nullptr);
    EXPECT_EQ(CountingMemory::count, 2);
}

TEST(JpegDecoderFile, ReadsTheWholeFileAndReportsOpenAndReadErrors) {
    const Bytes stream = Parts().Join();
    const Bytes expected = Decode(stream);
    ASSERT_FALSE(expected.empty());
    {
        const TempFile file(stream);
        JpegDecoder decoder;
        const std::uint8_t* rows = decoder.DecodeFile(file.path());
        ASSERT_NE(rows, nullptr);
        EXPECT_EQ(Bytes(rows, rows + decoder.header().biSizeImage), expected);
    }
    JpegDecoder decoder;
    EXPECT_EQ(decoder.DecodeFile("/nonexistent/vx/picture.jpg"), nullptr);
    EXPECT_EQ(decoder.status(), JpegStatus::CannotOpen);
    // A folder: Windows refuses to open it, other systems open it and refuse to read.
    EXPECT_EQ(decoder.DecodeFile(std::filesystem::temp_directory_path().string()), nullptr);
    EXPECT_TRUE(decoder.status() == JpegStatus::CannotRead ||
                decoder.status() == JpegStatus::CannotOpen);
    const TempFile empty(Bytes{});
    EXPECT_EQ(decoder.DecodeFile(empty.path()), nullptr);
    EXPECT_EQ(decoder.status(), JpegStatus::NotDecodable);
}

// A file is parsed on after the scan until EOI or its end; memory decoding stops
// after the scan.
TEST(JpegDecoderFile, ParsingGoesOnAfterTheScan) {
    // Whether the bit reader has taken the first byte after the data depends on
    // the data's length; these endings behave the same either way.
    const struct {
        const char* name;
        Bytes tail;
        bool fileDecodes;
    } cases[] = {
        {"EOI", {0xFF, 0xD9}, true},
        {"a second scan", {0x12, 0x34, 0x56, 0x78, 0xFF, 0xD9}, false},
        {"a broken segment", {0xFF, 0xE1, 0x40, 0x00}, false},
    };
    const Bytes expected = Decode(Parts().Join());
    ASSERT_FALSE(expected.empty());
    Parts parts;
    parts.eoi.clear();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stream = parts.Join();
        stream.insert(stream.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(Decode(stream), expected);
        const TempFile file(stream);
        JpegDecoder decoder;
        const std::uint8_t* rows = decoder.DecodeFile(file.path());
        EXPECT_EQ(rows != nullptr, c.fileDecodes);
        if (rows != nullptr) {
            EXPECT_EQ(Bytes(rows, rows + decoder.header().biSizeImage), expected);
        } else {
            EXPECT_EQ(decoder.status(), JpegStatus::NotDecodable);
        }
    }
}

TEST(JpegDecoderObject, DecodingAgainStartsAfresh) {
    const Bytes first = BuildPicture(16, 8, UniformMcus(1, 400, 100, -100));
    const Bytes second = BuildPicture(32, 8, UniformMcus(2, -300));
    JpegDecoder reused;
    ASSERT_NE(reused.DecodeMemory(first.data(), static_cast<std::uint32_t>(first.size())), nullptr);
    EXPECT_EQ(reused.DecodeMemory(second.data(), 3), nullptr);
    EXPECT_EQ(reused.pixels(), nullptr);
    const std::uint8_t* rows =
        reused.DecodeMemory(second.data(), static_cast<std::uint32_t>(second.size()));
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(reused.header().biWidth, 32);
    EXPECT_EQ(Bytes(rows, rows + reused.header().biSizeImage), Decode(second));
}

}  // namespace
}  // namespace vx
