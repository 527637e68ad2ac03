#include "tests/jpeg/literal_decoder.h"

#include <cmath>
#include <cstring>

namespace vx::test {

namespace {

const std::int32_t K[8][8] = {
    {8192, 11363, 10703, 9633, 8192, 6437, 4433, 2260},
    {8192, 9633, 4433, -2259, -8192, -11362, -10704, -6436},
    {8192, 6437, -4433, -11362, -8192, 2261, 10704, 9633},
    {8192, 2260, -10703, -6436, 8192, 9633, -4433, -11363},
    {8192, -2260, -10703, 6436, 8192, -9633, -4433, 11363},
    {8192, -6437, -4433, 11362, -8192, -2261, 10704, -9633},
    {8192, -9633, 4433, 2259, -8192, 11362, -10704, 6436},
    {8192, -11363, 10703, -9633, 8192, -6437, 4433, -2260},
};

// The zig-zag order walked out diagonal by diagonal.
struct Zigzag {
    std::uint8_t at[64];
    Zigzag() {
        int k = 0;
        for (int d = 0; d < 15; ++d) {
            for (int i = 0; i < 8; ++i) {
                const int row = d % 2 == 0 ? d - i : i;
                const int col = d - row;
                if (row >= 0 && row < 8 && col >= 0 && col < 8) {
                    at[k++] = static_cast<std::uint8_t>(row * 8 + col);
                }
            }
        }
    }
};
const Zigzag zigzag;

struct Row {
    std::uint16_t firstIndex, minCode, maxCode;
};
struct Table {
    bool defined = false;
    Row rows[16];
};

enum class Step { Done, NotAMarker, Error };

class Literal {
  public:
    Literal(const std::uint8_t* data, std::uint32_t length) : data_(data), dataLength_(length) {}

    LiteralPicture Run(bool fileMode) {
        LiteralPicture result;
        std::uint32_t pos = 0;
        while (!finished_ && pos < dataLength_) {
            const Step step = ProcessMarker(pos);
            if (step == Step::Error) {
                return result;
            }
            if (step == Step::NotAMarker) {
                if (!DecodeScan(pos)) {
                    return result;
                }
                if (!fileMode) {
                    finished_ = true;
                }
            }
        }
        if (!havePixels_) {
            return result;
        }
        result.ok = true;
        result.width = frameWidth_;
        result.height = frameHeight_;
        result.pixels = pixels_;
        return result;
    }

  private:
    std::uint8_t At(std::uint32_t p) const { return p < dataLength_ ? data_[p] : 0; }

    Step ProcessMarker(std::uint32_t& pos) {
        if (data_[pos] != 0xFF || pos + 1 >= dataLength_) {
            return Step::NotAMarker;
        }
        const std::uint8_t code = data_[pos + 1];
        const std::uint32_t c = pos + 1;
        bool ok;
        if (code == 0xD8) {
            pos = c + 1;
            dc_[0].defined = dc_[1].defined = ac_[0].defined = ac_[1].defined = false;
            return Step::Done;
        } else if (code == 0xD9) {
            finished_ = true;
            pos = c;
            return Step::Done;
        } else if (code == 0xC0) {
            ok = OnSOF0(c, pos);
        } else if (code == 0xC4) {
            ok = OnDHT(c, pos);
        } else if (code == 0xDB) {
            ok = OnDQT(c, pos);
        } else if (code == 0xDA) {
            ok = OnSOS(c, pos);
        } else if (code == 0xFE || code == 0xDD || code == 0xDC || (code >= 0xE0 && code <= 0xEE)) {
            std::uint32_t end;
            ok = Segment(c, 2, end, pos);
        } else {
            return Step::NotAMarker;
        }
        return ok ? Step::Done : Step::Error;
    }

    bool Segment(std::uint32_t c, std::uint32_t minLength, std::uint32_t& end,
                 std::uint32_t& pos) const {
        if (c + 2 >= dataLength_) {
            return false;
        }
        const std::uint32_t length = (std::uint32_t{data_[c + 1]} << 8) | data_[c + 2];
        if (length < 2 || length < minLength || std::uint64_t{c} + 1 + length > dataLength_) {
            return false;
        }
        end = c + 1 + length;
        pos = end;
        return true;
    }

    bool OnSOF0(std::uint32_t c, std::uint32_t& pos) {
        std::uint32_t end;
        if (!Segment(c, 8, end, pos)) {
            return false;
        }
        const std::uint32_t y = (std::uint32_t{data_[c + 4]} << 8) | data_[c + 5];
        const std::uint32_t x = (std::uint32_t{data_[c + 6]} << 8) | data_[c + 7];
        const std::uint32_t nf = data_[c + 8];
        if (nf != 3 || c + 8 + 3 * nf >= end) {
            return false;
        }
        if (x == 0 || y == 0 || x > 8192 || y > 8192) {
            return false;
        }
        componentQuant_.assign(nf, 0);
        for (std::uint32_t i = 0; i < nf; ++i) {
            const std::uint32_t ci = data_[c + 9 + 3 * i];
            const std::uint32_t sampling = data_[c + 10 + 3 * i];
            const std::uint32_t tq = data_[c + 11 + 3 * i];
            if (ci == 0 || ci > nf || tq > 1) {
                return false;
            }
            if (sampling != (ci == 1 ? 0x21u : 0x11u)) {
                return false;
            }
            componentQuant_[ci - 1] = static_cast<std::uint8_t>(tq);
        }
        frameHeight_ = static_cast<std::int32_t>((y + 7) / 8 * 8);
        frameWidth_ = static_cast<std::int32_t>((x + 15) / 16 * 16);
        pixels_.assign(static_cast<std::size_t>(frameWidth_) * frameHeight_ * 3, 0);
        havePixels_ = true;
        return true;
    }

    bool OnDHT(std::uint32_t c, std::uint32_t& pos) {
        std::uint32_t end;
        if (!Segment(c, 2, end, pos)) {
            return false;
        }
        std::uint32_t q = c + 3;
        while (q < end) {
            if (q + 17 > end) {
                return false;
            }
            const std::uint32_t tc = data_[q] >> 4;
            const std::uint32_t th = data_[q] & 15;
            if (tc > 1 || th > 1) {
                return false;
            }
            Table& t = tc == 0 ? dc_[th] : ac_[th];
            t = Table{};
            std::uint32_t code = 0;
            std::uint32_t total = 0;
            for (int L = 1; L <= 16; ++L) {
                const std::uint32_t n = data_[q + L];
                total += n;
                t.rows[L - 1].minCode = 0;
                t.rows[L - 1].maxCode = 0xFFFF;
                if (n == 0 && total > 0) {
                    code = code * 2;
                }
                t.rows[L - 1].firstIndex =
                    L == 1
                        ? 0
                        : static_cast<std::uint16_t>(t.rows[L - 2].firstIndex + data_[q + L - 1]);
                if (n > 0) {
                    t.rows[L - 1].minCode = static_cast<std::uint16_t>(2 * code);
                    code = 2 * code + n;
                    t.rows[L - 1].maxCode = static_cast<std::uint16_t>(code - 1);
                }
            }
            if (q + 17 + total > end) {
                return false;
            }
            t.defined = true;
            symbolOffsets_[th + 2 * tc] = q + 17;
            q += 17 + total;
        }
        return true;
    }

    bool OnDQT(std::uint32_t c, std::uint32_t& pos) {
        std::uint32_t end;
        if (!Segment(c, 2, end, pos)) {
            return false;
        }
        std::uint32_t q = c + 3;
        while (q < end) {
            const std::uint32_t pq = data_[q] >> 4;
            const std::uint32_t tq = data_[q] & 15;
            if (pq != 0 || tq > 1 || q + 65 > end) {
                return false;
            }
            for (int k = 0; k < 64; ++k) {
                quant_[tq][zigzag.at[k]] = data_[q + 1 + k];
            }
            quantDefined_[tq] = true;
            q += 65;
        }
        return true;
    }

    bool OnSOS(std::uint32_t c, std::uint32_t& pos) {
        std::uint32_t end;
        if (!Segment(c, 9, end, pos)) {
            return false;
        }
        for (int i = 0; i < 3; ++i) {
            scanSelectors_[2 * i] = data_[c + 5 + 2 * i] >> 4;
            scanSelectors_[2 * i + 1] = data_[c + 5 + 2 * i] & 15;
        }
        sawScanHeader_ = true;
        return true;
    }

    // --- the scan ---------------------------------------------------------------

    void Refill(std::uint32_t& pos) {
        const std::uint32_t first = At(pos);
        pos += first == 0xFF ? 2 : 1;
        const std::uint32_t second = At(pos);
        pos += second == 0xFF ? 2 : 1;
        window_ = (window_ & 0xFFFF0000u) | (first << 8) | second;
    }

    void TakeBit(std::uint32_t& pos) {
        if (used_ == 16) {
            Refill(pos);
            used_ = 0;
        }
        window_ <<= 1;
        ++used_;
    }

    bool DecodeScan(std::uint32_t& pos) {
        if (!sawScanHeader_ || !havePixels_ || componentQuant_.size() != 3) {
            return false;
        }
        for (int i = 0; i < 3; ++i) {
            if (scanSelectors_[2 * i] > 1 || scanSelectors_[2 * i + 1] > 1 ||
                !dc_[scanSelectors_[2 * i]].defined || !ac_[scanSelectors_[2 * i + 1]].defined ||
                !quantDefined_[componentQuant_[i]]) {
                return false;
            }
        }
        window_ = 0;
        used_ = 16;
        std::int32_t block[4][64];
        for (int mcuRow = 0; mcuRow < frameHeight_ / 8; ++mcuRow) {
            for (int mcu = 0; mcu < frameWidth_ / 16; ++mcu) {
                for (int b = 0; b < 4; ++b) {
                    const int comp = b < 1 ? 0 : b - 1;
                    const int dcNumber = scanSelectors_[2 * comp];
                    const int acNumber = scanSelectors_[2 * comp + 1];
                    int k = 0;
                    while (k < 64) {
                        const bool isDc = k == 0;
                        const Table& table = isDc ? dc_[dcNumber] : ac_[acNumber];
                        const std::uint32_t symbols =
                            symbolOffsets_[isDc ? dcNumber : 2 + acNumber];
                        const int maxLength = isDc ? 12 : 16;
                        if (used_ == 16) {
                            Refill(pos);
                            used_ = 0;
                        }
                        TakeBit(pos);
                        int index = -1;
                        for (int L = 1; L <= maxLength; ++L) {
                            const std::uint32_t code = window_ >> 16;
                            const Row& row = table.rows[L - 1];
                            if (row.maxCode != 0xFFFF && row.minCode <= code &&
                                code <= row.maxCode) {
                                index = (row.firstIndex + code - row.minCode) % 256;
                                break;
                            }
                            if (L == maxLength) {
                                return false;
                            }
                            TakeBit(pos);
                        }
                        if (symbols + index >= dataLength_) {
                            return false;
                        }
                        const std::uint32_t symbol = data_[symbols + index];
                        window_ &= 0xFFFF;
                        const std::uint32_t s = isDc ? symbol : symbol & 15;
                        const std::uint32_t r = isDc ? 0 : symbol >> 4;
                        if (s > 16) {
                            return false;
                        }
                        std::uint32_t firstBit = 0;
                        const std::uint32_t a = 16 - used_;
                        if (s <= a) {
                            firstBit = (window_ >> 15) & 1;
                            window_ <<= s;
                            used_ += s;
                        } else {
                            if (a > 0) {
                                firstBit = (window_ >> 15) & 1;
                            }
                            window_ <<= a;
                            Refill(pos);
                            if (a == 0) {
                                firstBit = (window_ >> 15) & 1;
                            }
                            window_ <<= (s - a);
                            used_ = s - a;
                        }
                        std::uint32_t v = window_ >> 16;
                        if (s == 0) {
                            v = 0;
                        } else if (firstBit == 0) {
                            v = v - ((1u << s) - 1);
                        }
                        if (isDc) {
                            v = v + dcPredictors_[comp];
                            block[b][0] = static_cast<std::int32_t>(v);
                            dcPredictors_[comp] = v;
                            k = 1;
                        } else if (r == 0 && s == 0) {
                            for (; k < 64; ++k) {
                                block[b][zigzag.at[k]] = 0;
                            }
                        } else if (r == 15 && s == 0) {
                            if (k > 48) {
                                return false;
                            }
                            for (int i = 0; i < 16; ++i) {
                                block[b][zigzag.at[k++]] = 0;
                            }
                        } else {
                            if (static_cast<int>(r) + k > 63) {
                                return false;
                            }
                            for (std::uint32_t i = 0; i < r; ++i) {
                                block[b][zigzag.at[k++]] = 0;
                            }
                            block[b][zigzag.at[k]] = static_cast<std::int32_t>(v);
                            ++k;
                        }
                        window_ &= 0xFFFF;
                    }
                }
                // Finish the MCU.
                for (int b = 0; b < 4; ++b) {
                    const int comp = b < 1 ? 0 : b - 1;
                    const std::uint8_t* q = quant_[componentQuant_[comp]];
                    for (int n = 0; n < 64; ++n) {
                        block[b][n] = static_cast<std::int32_t>(
                            static_cast<std::uint32_t>(block[b][n]) * q[n]);
                    }
                    LiteralInverseDct(block[b]);
                    for (int n = 0; n < 64; ++n) {
                        block[b][n] = static_cast<std::int32_t>(
                            static_cast<std::uint32_t>(block[b][n]) + 128u);
                    }
                }
                if (pos > dataLength_) {
                    return false;
                }
                if (!StoreMcu(block)) {
                    return false;
                }
            }
        }
        return true;
    }

    bool StoreMcu(const std::int32_t (*block)[64]) {
        const std::int64_t n = mcuCounter_;
        const std::int64_t m = frameWidth_ / 8;
        const std::int64_t x = (n % m) * 8;
        const std::int64_t y = (n / m) * 8;
        if (y + 8 > frameHeight_ || x + 16 > frameWidth_) {
            return false;
        }
        std::int64_t offset = ((frameHeight_ - 1 - y) * frameWidth_ + x) * 3;
        mcuCounter_ = static_cast<std::int32_t>(n + 2);
        for (int r = 0; r < 8; ++r) {
            std::int64_t address = offset;
            for (int c = 0; c < 16; ++c) {
                const std::int32_t Y = c < 8 ? block[0][8 * r + c] : block[1][8 * r + c - 8];
                const std::int32_t cb = block[2][8 * r + c / 2];
                const std::int32_t cr = block[3][8 * r + c / 2];
                LiteralColour(Y, cb, cr, &pixels_[static_cast<std::size_t>(address)]);
                address += 3;
            }
            offset -= 3 * static_cast<std::int64_t>(frameWidth_);
        }
        return true;
    }

    const std::uint8_t* data_;
    std::uint32_t dataLength_;
    bool finished_ = false;
    std::int32_t frameWidth_ = 0;
    std::int32_t frameHeight_ = 0;
    Table dc_[2];
    Table ac_[2];
    std::uint8_t quant_[2][64] = {};
    bool quantDefined_[2] = {};
    std::vector<std::uint8_t> componentQuant_;
    std::vector<std::uint8_t> pixels_;
    bool havePixels_ = false;
    bool sawScanHeader_ = false;
    std::uint32_t symbolOffsets_[4] = {};
    std::uint8_t scanSelectors_[6] = {};
    std::uint32_t dcPredictors_[3] = {};
    std::int32_t mcuCounter_ = 0;
    std::uint32_t window_ = 0;
    std::uint32_t used_ = 16;
};

}  // namespace

void LiteralInverseDct(std::int32_t* block) {
    std::int32_t tmp[64];
    for (int row = 0; row < 8; ++row) {
        for (int i = 0; i < 8; ++i) {
            std::uint32_t sum = 1024;
            for (int u = 0; u < 8; ++u) {
                sum += static_cast<std::uint32_t>(block[8 * row + u]) *
                       static_cast<std::uint32_t>(K[i][u]);
            }
            tmp[8 * row + i] = static_cast<std::int32_t>(sum) >> 11;
        }
    }
    for (int col = 0; col < 8; ++col) {
        for (int i = 0; i < 8; ++i) {
            std::uint32_t sum = 131072;
            for (int v = 0; v < 8; ++v) {
                sum += static_cast<std::uint32_t>(tmp[8 * v + col]) *
                       static_cast<std::uint32_t>(K[i][v]);
            }
            block[8 * i + col] = static_cast<std::int32_t>(sum) >> 18;
        }
    }
}

void LiteralColour(std::int32_t y, std::int32_t cb, std::int32_t cr, std::uint8_t bgr[3]) {
    const double db = static_cast<double>(cb) - 128.0;
    const double dr = static_cast<double>(cr) - 128.0;
    const std::int64_t blue = std::int64_t{y} + static_cast<std::int64_t>(std::trunc(1.772 * db));
    const std::int64_t green = std::int64_t{y} -
                               static_cast<std::int64_t>(std::trunc(0.34414 * db)) -
                               static_cast<std::int64_t>(std::trunc(0.71414 * dr));
    const std::int64_t red = std::int64_t{y} + static_cast<std::int64_t>(std::trunc(1.402 * dr));
    const std::int64_t v[3] = {blue, green, red};
    for (int i = 0; i < 3; ++i) {
        bgr[i] = static_cast<std::uint8_t>(v[i] >= 255 ? 255 : v[i] <= 0 ? 0 : v[i]);
    }
}

LiteralPicture LiteralDecodeMemory(const std::uint8_t* data, std::uint32_t length) {
    if (data == nullptr || length < 2 || data[0] != 0xFF || data[1] != 0xD8) {
        return {};
    }
    return Literal(data, length).Run(false);
}

LiteralPicture LiteralDecodeFileBytes(const std::uint8_t* data, std::uint32_t length) {
    return Literal(data, length).Run(true);
}

}  // namespace vx::test
