#include "recover/TextPlausibility.h"

#include "engine/DbInfo.h"

namespace {

bool IsControl(std::uint32_t c) { return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F; }

// Characters of the scripts and symbols that phone text is written in. Text
// read from the wrong offset of a UTF-16 page decodes to valid but
// unlikely characters (Yi, Balinese, private use); those are refused.
bool CommonCharacter(std::uint32_t u)
{
    static constexpr std::uint32_t kRanges[][2] = {
        {0x0009, 0x000D}, {0x0020, 0x007E}, {0x00A0, 0x024F}, {0x0250, 0x02FF}, {0x0300, 0x036F},
        {0x0370, 0x052F}, {0x0590, 0x06FF}, {0x0900, 0x0DFF}, {0x0E00, 0x0E7F},
        {0x1100, 0x11FF}, {0x1E00, 0x1FFF}, {0x2000, 0x2BFF}, {0x3000, 0x30FF},
        {0x3130, 0x318F}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xAC00, 0xD7AF},
        {0xD800, 0xDFFF}, {0xFE00, 0xFE0F}, {0xFF00, 0xFFEF}};
    for (const auto& range : kRanges)
        if (u >= range[0] && u <= range[1])
            return true;
    return false;
}

}  // namespace

// Well-formed UTF-8 without NUL or other control characters.
bool PlausibleUtf8(const std::uint8_t* p, std::uint64_t n)
{
    for (std::uint64_t i = 0; i < n;) {
        const std::uint8_t b = p[i];
        if (b < 0x80) {
            if (IsControl(b))
                return false;
            ++i;
            continue;
        }
        const int extra = b >= 0xF0 && b <= 0xF4 ? 3 : b >= 0xE0 ? (b < 0xF0 ? 2 : -1) : b >= 0xC2 ? 1 : -1;
        if (extra < 0 || static_cast<std::uint64_t>(extra) > n - i - 1)
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        if (b == 0xC2 && p[i + 1] < 0xA0)
            return false;  // C1 control characters
        i += 1 + extra;
    }
    return true;
}

bool PlausibleUtf16(const std::uint8_t* p, std::uint64_t n, bool bigEndian)
{
    if (n % 2 != 0)
        return false;
    // Text read one byte off its start turns ASCII into characters whose
    // low byte is zero; real text has few of them.
    std::uint64_t lowZero = 0;
    for (std::uint64_t i = 0; i < n; i += 2) {
        const std::uint32_t u = bigEndian ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]);
        if (IsControl(u) || !CommonCharacter(u))
            return false;
        lowZero += u > 0xFF && (u & 0xFF) == 0;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (n - i < 4)
                return false;
            const std::uint32_t low = bigEndian ? (p[i + 2] << 8 | p[i + 3]) : (p[i + 3] << 8 | p[i + 2]);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            i += 2;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        }
    }
    return 4 * lowZero <= n;
}

bool PlausibleText(const std::uint8_t* p, std::uint64_t n, std::uint32_t encoding)
{
    return encoding == kUtf8 ? PlausibleUtf8(p, n) : PlausibleUtf16(p, n, encoding == kUtf16be);
}
