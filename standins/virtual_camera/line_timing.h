#pragma once
// The serial line's pace: every byte takes bitsPerByte bit times at the baud rate
// (start, eight data, two stop bits: 11 bits at 115200 baud, about 95.5 microseconds).

#include <chrono>
#include <cstdint>

namespace vx::virtualcam {

struct LineTiming {
    std::uint32_t baud = 115200;
    std::uint32_t bitsPerByte = 11;

    // Wire time of n bytes, rounded up to the nanosecond; computed from the count so
    // that long transfers do not pile up rounding.
    std::chrono::nanoseconds Bytes(std::uint64_t n) const {
        const std::uint64_t bits = n * bitsPerByte;
        return std::chrono::nanoseconds((bits * 1'000'000'000ull + baud - 1) / baud);
    }
};

}  // namespace vx::virtualcam
