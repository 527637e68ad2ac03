// Inverse DCT and colour conversion, computed faster than the plain definitions
// but with the same results bit for bit: the inverse DCT splits each 8-point pass
// of the same integer matrix into its even and odd halves (nothing is rounded
// inside a pass, so the sums are identical), and skips rows that are zero.

#include "jpeg/jpeg_kernels.h"

#include <cfloat>

// The colour products must be formed in double precision, not in the x87 unit's
// extended precision; the build selects SSE2 arithmetic for 32-bit x86.
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "double arithmetic must not use excess precision (build with -msse2 -mfpmath=sse)"
#endif

namespace vx {

namespace {

using u32 = std::uint32_t;

// One 8-point pass: out[i] = (sum over u of x[u] * K[i][u] + round) >> shift,
// evaluated as even part E and odd part O with out[i] = E + O, out[7 - i] = E - O.
template <int Shift>
inline void Pass(u32 x0, u32 x1, u32 x2, u32 x3, u32 x4, u32 x5, u32 x6, u32 x7, u32 round,
                 std::int32_t* out, std::ptrdiff_t step) {
    const u32 a = (x0 + x4) * 8192u + round;
    const u32 c = (x0 - x4) * 8192u + round;
    const u32 b0 = x2 * 10703u + x6 * 4433u;
    const u32 b1 = x2 * 4433u - x6 * 10704u;
    const u32 e0 = a + b0, e3 = a - b0, e1 = c + b1, e2 = c - b1;
    const u32 o0 = x1 * 11363u + x3 * 9633u + x5 * 6437u + x7 * 2260u;
    const u32 o1 = x1 * 9633u - x3 * 2259u - x5 * 11362u - x7 * 6436u;
    const u32 o2 = x1 * 6437u - x3 * 11362u + x5 * 2261u + x7 * 9633u;
    const u32 o3 = x1 * 2260u - x3 * 6436u + x5 * 9633u - x7 * 11363u;
    out[0 * step] = static_cast<std::int32_t>(e0 + o0) >> Shift;
    out[7 * step] = static_cast<std::int32_t>(e0 - o0) >> Shift;
    out[1 * step] = static_cast<std::int32_t>(e1 + o1) >> Shift;
    out[6 * step] = static_cast<std::int32_t>(e1 - o1) >> Shift;
    out[2 * step] = static_cast<std::int32_t>(e2 + o2) >> Shift;
    out[5 * step] = static_cast<std::int32_t>(e2 - o2) >> Shift;
    out[3 * step] = static_cast<std::int32_t>(e3 + o3) >> Shift;
    out[4 * step] = static_cast<std::int32_t>(e3 - o3) >> Shift;
}

inline std::uint8_t Clamp(std::int32_t v) {
    return static_cast<std::uint8_t>(v <= 0 ? 0 : v >= 255 ? 255 : v);
}

}  // namespace

void InverseDct(std::int32_t* block, unsigned nonzeroRows) {
    constexpr u32 kRowRound = 1024;
    constexpr u32 kColumnRound = 131072;
    // Rows: a zero row stays zero; a row holding only its first value is constant.
    for (int r = 0; r < 8; ++r) {
        if ((nonzeroRows & (1u << r)) == 0) {
            continue;
        }
        std::int32_t* row = block + 8 * r;
        const u32 x0 = static_cast<u32>(row[0]);
        if ((row[1] | row[2] | row[3] | row[4] | row[5] | row[6] | row[7]) == 0) {
            const std::int32_t v = static_cast<std::int32_t>(x0 * 8192u + kRowRound) >> 11;
            for (int i = 0; i < 8; ++i) {
                row[i] = v;
            }
            continue;
        }
        Pass<11>(x0, static_cast<u32>(row[1]), static_cast<u32>(row[2]), static_cast<u32>(row[3]),
                 static_cast<u32>(row[4]), static_cast<u32>(row[5]), static_cast<u32>(row[6]),
                 static_cast<u32>(row[7]), kRowRound, row, 1);
    }
    // Columns.
    if ((nonzeroRows & 0xFEu) == 0) {
        for (int c = 0; c < 8; ++c) {
            const std::int32_t v =
                static_cast<std::int32_t>(static_cast<u32>(block[c]) * 8192u + kColumnRound) >> 18;
            for (int r = 0; r < 8; ++r) {
                block[8 * r + c] = v;
            }
        }
        return;
    }
    for (int c = 0; c < 8; ++c) {
        std::int32_t* col = block + c;
        Pass<18>(static_cast<u32>(col[0]), static_cast<u32>(col[8]), static_cast<u32>(col[16]),
                 static_cast<u32>(col[24]), static_cast<u32>(col[32]), static_cast<u32>(col[40]),
                 static_cast<u32>(col[48]), static_cast<u32>(col[56]), kColumnRound, col, 8);
    }
}

void ConvertMcu(const std::int32_t* y0, const std::int32_t* y1, const std::int32_t* cb,
                const std::int32_t* cr, std::uint8_t* top, std::ptrdiff_t rowStep) {
    // The chroma terms, once per chroma sample (each serves two pixels). Cb - 128
    // and Cr - 128 after the level shift are the inverse DCT outputs themselves.
    alignas(16) std::int32_t blue[64], green[64], red[64];
    for (int i = 0; i < 64; ++i) {
        const double b = cb[i];
        const double r = cr[i];
        blue[i] = static_cast<std::int32_t>(1.772 * b);
        green[i] = static_cast<std::int32_t>(0.34414 * b) + static_cast<std::int32_t>(0.71414 * r);
        red[i] = static_cast<std::int32_t>(1.402 * r);
    }
    for (int r = 0; r < 8; ++r) {
        std::uint8_t* out = top + r * rowStep;
        const std::int32_t* yl = y0 + 8 * r;
        const std::int32_t* yr = y1 + 8 * r;
        const int j = 8 * r;
        for (int c = 0; c < 8; ++c) {
            const std::int32_t y = yl[c] + 128;
            const int k = j + c / 2;
            out[3 * c + 0] = Clamp(y + blue[k]);
            out[3 * c + 1] = Clamp(y - green[k]);
            out[3 * c + 2] = Clamp(y + red[k]);
        }
        for (int c = 0; c < 8; ++c) {
            const std::int32_t y = yr[c] + 128;
            const int k = j + 4 + c / 2;
            out[24 + 3 * c + 0] = Clamp(y + blue[k]);
            out[24 + 3 * c + 1] = Clamp(y - green[k]);
            out[24 + 3 * c + 2] = Clamp(y + red[k]);
        }
    }
}

}  // namespace vx
