// Broken streams: every truncation and every single-byte change of small valid
// streams decodes or fails cleanly (the sanitizers watch every read and write, and
// each input sits in a heap block of exactly its length), and the result is the
// literal definition's.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "jpeg/jpeg_decoder.h"
#include "tests/jpeg/literal_decoder.h"
#include "tests/jpeg/stream_builder.h"

namespace vx {
namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Outcome { Decoded, Refused, Differs };

// Decodes `length` bytes of `stream` from an exact-size copy and compares with the
// literal definition.
Outcome Decode(const Bytes& stream, std::size_t length) {
    auto copy = std::make_unique<std::uint8_t[]>(length == 0 ? 1 : length);
    std::memcpy(copy.get(), stream.data(), length);
    const auto size = static_cast<std::uint32_t>(length);
    JpegDecoder decoder;
    const std::uint8_t* rows = decoder.DecodeMemory(copy.get(), size);
    const test::LiteralPicture literal = test::LiteralDecodeMemory(copy.get(), size);
    if ((rows != nullptr) != literal.ok) {
        return Outcome::Differs;
    }
    if (rows == nullptr) {
        return decoder.status() == JpegStatus::NotDecodable ? Outcome::Refused : Outcome::Differs;
    }
    const bool same = decoder.header().biWidth == literal.width &&
                      decoder.header().biHeight == literal.height &&
                      std::memcmp(rows, literal.pixels.data(), literal.pixels.size()) == 0;
    return same ? Outcome::Decoded : Outcome::Differs;
}

Bytes SmallStreams(int which) {
    if (which == 0) {
        return test::ReadFileBytes(VX_JPEG_FIXTURES "/tiny_16x8_q90.jpg");
    }
    return test::ReadFileBytes(VX_JPEG_FIXTURES "/odd_33x17_q85.jpg");
}

TEST(JpegRobustness, EveryTruncation) {
    for (int which = 0; which < 2; ++which) {
        const Bytes stream = SmallStreams(which);
        int decoded = 0;
        for (std::size_t length = 0; length <= stream.size(); ++length) {
            const Outcome outcome = Decode(stream, length);
            ASSERT_NE(outcome, Outcome::Differs) << "stream " << which << " cut at " << length;
            decoded += outcome == Outcome::Decoded;
        }
        // The whole stream, and cuts at segment boundaries before the scan
        // (which give a black frame), decode.
        EXPECT_GE(decoded, 2);
    }
}

TEST(JpegRobustness, EverySingleByteChange) {
    for (int which = 0; which < 1; ++which) {
        Bytes stream = SmallStreams(which);
        int decoded = 0, refused = 0;
        for (std::size_t at = 0; at < stream.size(); ++at) {
            const std::uint8_t original = stream[at];
            for (int value = 0; value < 256; ++value) {
                if (value == original) {
                    continue;
                }
                stream[at] = static_cast<std::uint8_t>(value);
                const Outcome outcome = Decode(stream, stream.size());
                ASSERT_NE(outcome, Outcome::Differs)
                    << "stream " << which << " byte " << at << " set to " << value;
                (outcome == Outcome::Decoded ? decoded : refused)++;
            }
            stream[at] = original;
        }
        EXPECT_GT(decoded, 0);
        EXPECT_GT(refused, 0);
    }
}

}  // namespace
}  // namespace vx
