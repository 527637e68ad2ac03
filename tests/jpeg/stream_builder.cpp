#include "tests/jpeg/stream_builder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vx::test {

namespace {

HuffmanTableBytes Make(std::array<std::uint8_t, 16> counts, std::vector<std::uint8_t> symbols) {
    return HuffmanTableBytes{counts, std::move(symbols)};
}

// All 162 AC symbols, the likelier (short runs, small sizes) first.
std::vector<std::uint8_t> AcSymbols() {
    std::vector<std::uint8_t> symbols = {0x00, 0xF0};
    for (int run = 0; run < 16; ++run) {
        for (int size = 1; size <= 10; ++size) {
            symbols.push_back(static_cast<std::uint8_t>(run << 4 | size));
        }
    }
    std::stable_sort(symbols.begin() + 2, symbols.end(), [](std::uint8_t a, std::uint8_t b) {
        return (a >> 4) + (a & 15) < (b >> 4) + (b & 15);
    });
    return symbols;
}

int SizeOf(int value) {
    int magnitude = value < 0 ? -value : value;
    int size = 0;
    while (magnitude != 0) {
        ++size;
        magnitude >>= 1;
    }
    return size;
}

std::uint32_t ValueBits(int value, int size) {
    return static_cast<std::uint32_t>(value < 0 ? value + (1 << size) - 1 : value);
}

std::array<EntropyCoder::Code, 256> Codes(const HuffmanTableBytes& huffman) {
    std::array<EntropyCoder::Code, 256> table{};
    std::uint32_t code = 0;
    std::size_t next = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < huffman.counts[length - 1]; ++i) {
            table[huffman.symbols.at(next++)] = {code++, length};
        }
        code <<= 1;
    }
    return table;
}

}  // namespace

HuffmanTableBytes LumaDcTable() {
    return Make({0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
}

HuffmanTableBytes ChromaDcTable() {
    return Make({0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
}

HuffmanTableBytes LumaAcTable() {
    return Make({0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 125}, AcSymbols());
}

HuffmanTableBytes ChromaAcTable() {
    return Make({0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 119}, AcSymbols());
}

void BitWriter::Put(std::uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
        acc_ = (acc_ << 1) | ((bits >> i) & 1);
        if (++count_ == 8) {
            bytes_.push_back(static_cast<std::uint8_t>(acc_));
            acc_ = 0;
            count_ = 0;
        }
    }
}

std::vector<std::uint8_t> BitWriter::Finish() {
    while (count_ != 0) {
        Put(1, 1);
    }
    std::vector<std::uint8_t> out;
    for (std::uint8_t b : bytes_) {
        out.push_back(b);
        if (b == 0xFF) {
            out.push_back(0x00);
        }
    }
    return out;
}

EntropyCoder::EntropyCoder(const HuffmanTableBytes& dc, const HuffmanTableBytes& ac)
    : dc_(Codes(dc)), ac_(Codes(ac)) {}

void EntropyCoder::PutSymbol(BitWriter& w, const std::array<Code, 256>& table, int symbol) {
    const Code& c = table[static_cast<std::size_t>(symbol)];
    if (c.length == 0) {
        throw std::runtime_error("symbol without a code");
    }
    w.Put(c.bits, c.length);
}

void EntropyCoder::PutDcDifference(BitWriter& w, int difference) const {
    const int size = SizeOf(difference);
    PutSymbol(w, dc_, size);
    w.Put(ValueBits(difference, size), size);
}

void EntropyCoder::PutAc(BitWriter& w, int run, int value) const {
    const int size = SizeOf(value);
    PutSymbol(w, ac_, run << 4 | size);
    w.Put(ValueBits(value, size), size);
}

void EntropyCoder::PutBlock(BitWriter& w, const Block& block, int& predictor) const {
    PutDcDifference(w, block[0] - predictor);
    predictor = block[0];
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        if (block[k] == 0) {
            ++run;
            continue;
        }
        while (run > 15) {
            PutSixteenZeros(w);
            run -= 16;
        }
        PutAc(w, run, block[k]);
        run = 0;
    }
    if (run > 0) {
        PutEndOfBlock(w);
    }
}

StreamBuilder& StreamBuilder::Soi() {
    return Raw({0xFF, 0xD8});
}
StreamBuilder& StreamBuilder::Eoi() {
    return Raw({0xFF, 0xD9});
}

StreamBuilder& StreamBuilder::Segment(std::uint8_t code, const std::vector<std::uint8_t>& payload) {
    const std::size_t length = payload.size() + 2;
    Raw({0xFF, code, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    return Raw(payload);
}

StreamBuilder& StreamBuilder::Dqt(int table, const std::array<std::uint8_t, 64>& values) {
    std::vector<std::uint8_t> payload = {static_cast<std::uint8_t>(table)};
    payload.insert(payload.end(), values.begin(), values.end());
    return Segment(0xDB, payload);
}

StreamBuilder& StreamBuilder::DqtFlat(int table, std::uint8_t value) {
    std::array<std::uint8_t, 64> values;
    values.fill(value);
    return Dqt(table, values);
}

StreamBuilder& StreamBuilder::Sof0(int width, int height) {
    return Segment(0xC0, {8, static_cast<std::uint8_t>(height >> 8),
                          static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(width >> 8),
                          static_cast<std::uint8_t>(width), 3, 1, 0x21, 0, 2, 0x11, 1, 3, 0x11, 1});
}

StreamBuilder& StreamBuilder::Dht(int tableClass, int number, const HuffmanTableBytes& huffman) {
    std::vector<std::uint8_t> payload = {static_cast<std::uint8_t>(tableClass << 4 | number)};
    payload.insert(payload.end(), huffman.counts.begin(), huffman.counts.end());
    payload.insert(payload.end(), huffman.symbols.begin(), huffman.symbols.end());
    return Segment(0xC4, payload);
}

StreamBuilder& StreamBuilder::DefaultTables() {
    Dht(0, 0, LumaDcTable());
    Dht(1, 0, LumaAcTable());
    Dht(0, 1, ChromaDcTable());
    return Dht(1, 1, ChromaAcTable());
}

StreamBuilder& StreamBuilder::Sos(std::uint8_t y, std::uint8_t cb, std::uint8_t cr) {
    return Segment(0xDA, {3, 1, y, 2, cb, 3, cr, 0, 63, 0});
}

StreamBuilder& StreamBuilder::Raw(const std::vector<std::uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

StreamBuilder& StreamBuilder::Mcus(const std::vector<Block>& blocks) {
    const EntropyCoder luma(LumaDcTable(), LumaAcTable());
    const EntropyCoder chroma(ChromaDcTable(), ChromaAcTable());
    BitWriter w;
    int predictors[3] = {0, 0, 0};
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const std::size_t b = i % 4;
        const std::size_t comp = b == 0 ? 0 : b - 1;
        (comp == 0 ? luma : chroma).PutBlock(w, blocks[i], predictors[comp]);
    }
    return Raw(w.Finish());
}

std::vector<std::uint8_t> BuildPicture(int width, int height, const std::vector<Block>& blocks,
                                       std::uint8_t quant) {
    StreamBuilder s;
    s.Soi().DqtFlat(0, quant).DqtFlat(1, quant).Sof0(width, height).DefaultTables().Sos();
    return s.Mcus(blocks).Eoi().bytes();
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vx::test
