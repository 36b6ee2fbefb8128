#include "IntegerFormat.h"

#include <cstring>

namespace {

constexpr std::uint32_t k10To8 = 100000000;

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void WritePair(char* out, std::uint32_t pair) { std::memcpy(out, kPairs + 2 * pair, 2); }

// Exactly eight digits of `value` (below 10^8), leading zeros included.
void WriteEightDigits(char* out, std::uint32_t value)
{
    const std::uint32_t high = value / 10000, low = value % 10000;
    WritePair(out, high / 100);
    WritePair(out + 2, high % 100);
    WritePair(out + 4, low / 100);
    WritePair(out + 6, low % 100);
}

int DigitCount(std::uint32_t value)
{
    int count = 1;
    for (std::uint32_t limit = 10; count < 10 && value >= limit; limit *= 10)
        ++count;
    return count;
}

// The digits of `value` (below 10^8) with no leading zero.
char* WriteShortDigits(char* out, std::uint32_t value)
{
    char* const end = out + DigitCount(value);
    char* at = end;
    for (; value >= 100; value /= 100) {
        at -= 2;
        WritePair(at, value % 100);
    }
    if (value >= 10)
        WritePair(at - 2, value);
    else
        at[-1] = static_cast<char>('0' + value);
    return end;
}

}  // namespace

char* WriteLongInteger(char* first, std::int64_t value)
{
    // The magnitude in unsigned arithmetic, so that INT64_MIN negates.
    std::uint64_t magnitude = static_cast<std::uint64_t>(value);
    if (value < 0) {
        *first++ = '-';
        magnitude = 0 - magnitude;
    }
    if (magnitude < k10To8)
        return WriteShortDigits(first, static_cast<std::uint32_t>(magnitude));
    // Up to twenty digits: at most four, eight and eight.
    const std::uint64_t high = magnitude / k10To8;
    const auto low = static_cast<std::uint32_t>(magnitude % k10To8);
    if (high < k10To8) {
        first = WriteShortDigits(first, static_cast<std::uint32_t>(high));
    } else {
        first = WriteShortDigits(first, static_cast<std::uint32_t>(high / k10To8));
        WriteEightDigits(first, static_cast<std::uint32_t>(high % k10To8));
        first += 8;
    }
    WriteEightDigits(first, low);
    return first + 8;
}
