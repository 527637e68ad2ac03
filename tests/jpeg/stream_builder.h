#pragma once
// Builds small JPEG streams for tests: segments one by one (so a test can break
// any of them) and entropy-coded data from quantised coefficients or from single
// Huffman symbols.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vx::test {

struct HuffmanTableBytes {
    std::array<std::uint8_t, 16> counts{};  // codes of length 1..16
    std::vector<std::uint8_t> symbols;
};

// DC tables for sizes 0..11 (codes up to 9 and up to 11 bits), AC tables for every
// run/size symbol (codes up to 16 bits).
HuffmanTableBytes LumaDcTable();
HuffmanTableBytes ChromaDcTable();
HuffmanTableBytes LumaAcTable();
HuffmanTableBytes ChromaAcTable();

// Quantised coefficients of one block in zig-zag order; entry 0 is the DC value.
using Block = std::array<int, 64>;

class BitWriter {
  public:
    void Put(std::uint32_t bits, int count);
    // Pads the last byte with ones and returns the data with FF stuffed as FF 00.
    std::vector<std::uint8_t> Finish();

  private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t acc_ = 0;
    int count_ = 0;
};

// Huffman coding of values with one pair of tables.
class EntropyCoder {
  public:
    EntropyCoder(const HuffmanTableBytes& dc, const HuffmanTableBytes& ac);
    void PutDcDifference(BitWriter& w, int difference) const;
    void PutAc(BitWriter& w, int run, int value) const;  // value != 0
    void PutEndOfBlock(BitWriter& w) const { PutSymbol(w, ac_, 0x00); }
    void PutSixteenZeros(BitWriter& w) const { PutSymbol(w, ac_, 0xF0); }
    // A whole block: DC as a difference to `predictor` (updated), AC with runs.
    void PutBlock(BitWriter& w, const Block& block, int& predictor) const;

    struct Code {
        std::uint32_t bits = 0;
        int length = 0;
    };

  private:
    static void PutSymbol(BitWriter& w, const std::array<Code, 256>& table, int symbol);
    std::array<Code, 256> dc_{};
    std::array<Code, 256> ac_{};
};

class StreamBuilder {
  public:
    StreamBuilder& Soi();
    StreamBuilder& Eoi();
    // One segment with marker code `code` and the given payload (the length is added).
    StreamBuilder& Segment(std::uint8_t code, const std::vector<std::uint8_t>& payload);
    StreamBuilder& Dqt(int table, const std::array<std::uint8_t, 64>& zigzagValues);
    StreamBuilder& DqtFlat(int table, std::uint8_t value);
    // Components 1, 2, 3 with the camera's sampling (2x1, 1x1, 1x1) and quant tables 0, 1, 1.
    StreamBuilder& Sof0(int width, int height);
    StreamBuilder& Dht(int tableClass, int number, const HuffmanTableBytes& huffman);
    // Luma tables as DC/AC 0, chroma tables as DC/AC 1.
    StreamBuilder& DefaultTables();
    // Scan header with table selectors (DC << 4 | AC) for components 1, 2, 3.
    StreamBuilder& Sos(std::uint8_t y = 0x00, std::uint8_t cb = 0x11, std::uint8_t cr = 0x11);
    StreamBuilder& Raw(const std::vector<std::uint8_t>& bytes);
    // Entropy-coded data of MCUs (blocks Y0, Y1, Cb, Cr each) with the default tables.
    StreamBuilder& Mcus(const std::vector<Block>& blocks);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

// A complete stream of the camera's kind: flat quantisation tables with `quant`,
// default Huffman tables, the MCUs' blocks, EOI.
std::vector<std::uint8_t> BuildPicture(int width, int height, const std::vector<Block>& blocks,
                                       std::uint8_t quant = 1);

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

}  // namespace vx::test
