#include "RealFormat.h"

#include <bit>
#include <charconv>
#include <cstdint>

namespace {

// 10^0 to 10^22: all exactly representable as doubles.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::uint64_t k10To14 = 100000000000000ULL;
constexpr std::uint64_t k10To15 = 1000000000000000ULL;

// The fifteen significant digits of `magnitude` (positive, normal) as an
// integer in [10^14, 10^15) and the decimal exponent of the first, when
// that decimal reads back as exactly `magnitude`. Any decimal of at most
// fifteen digits names one double only, so when this one reads back it is
// the shortest form padded with zeros.
bool FifteenDigits(double magnitude, std::uint64_t& digits, int& exponent)
{
    const int binaryExponent = static_cast<int>(std::bit_cast<std::uint64_t>(magnitude) >> 52) - 1023;
    // floor(binaryExponent * log10(2)): the decimal exponent or one less.
    exponent = (binaryExponent * 78913) >> 18;
    for (int attempt = 0; attempt < 2; ++attempt, ++exponent) {
        const int scale = 14 - exponent;
        if (scale < 0 || scale > 22)
            return false;
        // One rounding each way, both operands exact below 2^53.
        const double scaled = magnitude * kPowersOfTen[scale];
        if (scaled >= static_cast<double>(k10To15))
            continue;
        digits = static_cast<std::uint64_t>(scaled + 0.5);
        return digits >= k10To14 && digits < k10To15 &&
               static_cast<double>(static_cast<std::int64_t>(digits)) / kPowersOfTen[scale] == magnitude;
    }
    return false;
}

// `count` decimal digits of `value`, leading zeros included, two at a time.
char* WriteDigits(char* out, std::uint64_t value, int count)
{
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    int i = count;
    for (; i >= 2; i -= 2) {
        const unsigned pair = static_cast<unsigned>(value % 100);
        value /= 100;
        out[i - 2] = kPairs[2 * pair];
        out[i - 1] = kPairs[2 * pair + 1];
    }
    if (i == 1)
        out[0] = static_cast<char>('0' + value % 10);
    return out + count;
}

// Drops the trailing zeros of fifteen digits; returns how many are left.
int StripTrailingZeros(std::uint64_t& digits)
{
    int count = 15;
    if (digits % 100000000 == 0) {
        digits /= 100000000;
        count -= 8;
    }
    if (digits % 10000 == 0) {
        digits /= 10000;
        count -= 4;
    }
    if (digits % 100 == 0) {
        digits /= 100;
        count -= 2;
    }
    if (digits % 10 == 0) {
        digits /= 10;
        count -= 1;
    }
    return count;
}

// The fixed-point text of digits × 10^(exponent − count + 1), or null when
// std::to_chars would choose the exponent form (it takes the shorter form,
// the fixed one on a tie).
char* WriteFixed(char* out, std::uint64_t digits, int count, int exponent)
{
    const int fixedLength = exponent >= 0 ? (count <= exponent + 1 ? exponent + 1 : count + 1)
                                          : 1 - exponent + count;
    const int absExponent = exponent < 0 ? -exponent : exponent;
    const int scientificLength = count + (count > 1 ? 1 : 0) + 2 + (absExponent >= 100 ? 3 : 2);
    if (fixedLength > scientificLength)
        return nullptr;
    if (exponent < 0) {
        *out++ = '0';
        *out++ = '.';
        for (int i = -1; i > exponent; --i)
            *out++ = '0';
        return WriteDigits(out, digits, count);
    }
    out = WriteDigits(out, digits, count);
    if (count <= exponent + 1) {
        for (int i = count; i <= exponent; ++i)
            *out++ = '0';
        return out;
    }
    // The point goes after the integer digits: the fraction moves up one.
    char* point = out - (count - exponent - 1);
    for (char* p = out; p > point; --p)
        *p = p[-1];
    *point = '.';
    return out + 1;
}

char* WriteFifteenDigitFixed(char* out, double value)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    const std::uint64_t biased = (bits >> 52) & 0x7FF;
    if (biased == 0 || biased == 0x7FF)
        return nullptr;  // zero, subnormal, infinity, NaN
    std::uint64_t digits = 0;
    int exponent = 0;
    if (!FifteenDigits(std::bit_cast<double>(bits & ~(1ULL << 63)), digits, exponent))
        return nullptr;
    const int count = StripTrailingZeros(digits);
    if (bits >> 63)
        *out++ = '-';
    return WriteFixed(out, digits, count, exponent);
}

}  // namespace

char* WriteShortestReal(char* first, double value)
{
    if (char* end = WriteFifteenDigitFixed(first, value))
        return end;
    return std::to_chars(first, first + kShortestRealMax, value).ptr;
}
