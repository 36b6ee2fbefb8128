#include "TextConvert.h"

#include "Utf8Blocks.h"

#include <cstring>
#include <memory>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendCodePoint(std::u16string& out, std::uint32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// Length of a UTF-8 sequence from its lead byte, 0 for a byte that cannot
// start one.
int SequenceLength(std::uint8_t lead)
{
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool IsContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

// Length of the well-formed sequence at data[i], or 0 with `bad` set to
// the length of the maximal malformed prefix (at least 1), which counts as
// one malformed sequence. `cp` receives the code point.
int DecodeSequence(const std::uint8_t* data, std::size_t size, std::size_t i, std::uint32_t& cp,
                   int& bad)
{
    const std::uint8_t lead = data[i];
    const int length = SequenceLength(lead);
    if (length == 0) {
        bad = 1;
        return 0;
    }
    // The second byte's range excludes overlong forms, surrogates and
    // values past U+10FFFF (the ranges of the Unicode standard, table 3-7).
    std::uint8_t low = 0x80, high = 0xBF;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    cp = lead & (0x7F >> length);
    for (int taken = 1; taken < length; ++taken) {
        if (i + taken >= size) {
            bad = taken;
            return 0;
        }
        const std::uint8_t b = data[i + taken];
        const bool inRange = taken == 1 ? (b >= low && b <= high) : IsContinuation(b);
        if (!inRange) {
            bad = taken;
            return 0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    return length;
}

bool IsEscapable(std::uint8_t b) { return IsUtf8Escapable(b); }

// End of the run of ASCII bytes from `i` (with `stopAtEscapable`, of ASCII
// bytes IsEscapable leaves alone): sixteen bytes at a time where the
// processor has SSE2, else eight.
std::size_t AsciiRunEnd(const std::uint8_t* data, std::size_t size, std::size_t i,
                        bool stopAtEscapable = false)
{
#if defined(__SSE2__)
    const __m128i controlMax = _mm_set1_epi8(0x1F);
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    while (size - i >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        int stop = _mm_movemask_epi8(block);
        if (stopAtEscapable)
            stop |= _mm_movemask_epi8(
                _mm_or_si128(_mm_cmpeq_epi8(_mm_max_epu8(block, controlMax), controlMax),
                             _mm_or_si128(_mm_cmpeq_epi8(block, quote),
                                          _mm_cmpeq_epi8(block, backslash))));
        if (stop != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(stop)));
        i += 16;
    }
#endif
    while (size - i >= 8 && !stopAtEscapable) {
        std::uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        if ((word & 0x8080808080808080ULL) != 0)
            break;
        i += 8;
    }
    while (i < size && data[i] < 0x80 && !(stopAtEscapable && IsEscapable(data[i])))
        ++i;
    return i;
}

char* CopyBytes(char* out, const std::uint8_t* data, std::size_t count)
{
    if (count != 0)  // most texts need no call at all: the blocks copied them
        std::memcpy(out, data, count);
    return out + count;
}

}  // namespace

void AppendUtf8AsWide(std::u16string& out, const std::uint8_t* data, std::size_t size)
{
    std::size_t i = 0;
    while (i < size) {
        // Runs of ASCII, the bulk of most texts, are copied unit for byte.
        const std::size_t run = AsciiRunEnd(data, size, i);
        if (run != i) {
            const std::size_t at = out.size();
            out.resize(at + (run - i));
            for (std::size_t k = i; k < run; ++k)
                out[at + (k - i)] = data[k];
            i = run;
            continue;
        }
        std::uint32_t cp = 0;
        int bad = 0;
        const int length = DecodeSequence(data, size, i, cp, bad);
        if (length != 0) {
            AppendCodePoint(out, cp);
            i += length;
        } else {
            out.push_back(kReplacement);
            i += bad;
        }
    }
}

char* WriteUtf8Checked(char* out, const std::uint8_t* data, std::size_t size,
                       const AsciiEscapes* escapes)
{
    // data[copied, i) is checked and not yet written: well-formed stretches
    // are copied whole; only a malformed sequence or an escaped byte
    // interrupts them.
    std::size_t copied = 0;
    std::size_t i = 0;
    // Blocks are checked, escaped and copied by CopyUtf8Blocks; from a block
    // with a malformed sequence, the bytes are taken one sequence at a time
    // until the block is passed. Without the blocks, all of them are.
    const bool blocks = HasUtf8Blocks();
    std::size_t scalarUntil = blocks ? 0 : size;
    while (i < size) {
        if (i >= scalarUntil) {
            out = CopyBytes(out, data + copied, i - copied);
            const Utf8BlocksEnd end = CopyUtf8Blocks(out, data, size, i, escapes);
            out = end.out;
            i = copied = end.i;
            scalarUntil = i + kUtf8BlockBytes + 3;
            if (i >= size)
                break;
        }
        const std::uint8_t lead = data[i];
        if (lead < 0x80) {
            if (IsEscapable(lead)) {
                if (lead == 0) {
                    size = i;  // the text ends at its first NUL
                    break;
                }
                if (const char* replacement = escapes ? (*escapes)[lead] : nullptr) {
                    out = CopyBytes(out, data + copied, i - copied);
                    const std::size_t length = std::strlen(replacement);
                    std::memcpy(out, replacement, length);
                    out += length;
                    copied = i + 1;
                }
                ++i;
            }
            i = AsciiRunEnd(data, size, i, true);
            continue;
        }
        // The common well-formed two-, three- and four-byte sequences are
        // checked in line; anything else takes the full rule below.
        if (lead >= 0xC2 && lead <= 0xDF && size - i >= 2 && IsContinuation(data[i + 1])) {
            i += 2;
            continue;
        }
        if (lead >= 0xE0 && lead <= 0xF4 && size - i >= 3) {
            // The second byte's range as DecodeSequence has it.
            const std::uint8_t b1 = data[i + 1];
            const std::uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
            const std::uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
            if (b1 >= low && b1 <= high && IsContinuation(data[i + 2])) {
                if (lead < 0xF0) {
                    i += 3;
                    continue;
                }
                if (size - i >= 4 && IsContinuation(data[i + 3])) {
                    i += 4;
                    continue;
                }
            }
        }
        std::uint32_t cp = 0;
        int bad = 0;
        const int length = DecodeSequence(data, size, i, cp, bad);
        if (length != 0) {
            i += length;
            continue;
        }
        out = CopyBytes(out, data + copied, i - copied);
        std::memcpy(out, "\xEF\xBF\xBD", 3);
        out += 3;
        i += bad;
        copied = i;
    }
    return CopyBytes(out, data + copied, size - copied);
}

void AppendUtf8Checked(std::string& out, const std::uint8_t* data, std::size_t size,
                       const AsciiEscapes* escapes)
{
    // Written into a scratch block first: a string cannot grow by the room
    // without filling it. The block is kept for the next text unless it
    // had to be large.
    constexpr std::size_t kKeptScratch = 1 << 20;
    thread_local std::unique_ptr<char[]> kept(new char[kKeptScratch]);
    std::unique_ptr<char[]> large;
    char* scratch = kept.get();
    if (Utf8CheckedRoom(size) > kKeptScratch) {
        large.reset(new char[Utf8CheckedRoom(size)]);
        scratch = large.get();
    }
    const char* end = WriteUtf8Checked(scratch, data, size, escapes);
    out.append(scratch, static_cast<std::size_t>(end - scratch));
}

#if defined(__SSE2__)
namespace {

// The digit characters of sixteen values 0 to 15.
__m128i HexDigits(__m128i values)
{
    const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(values, _mm_set1_epi8(9)),
                                          _mm_set1_epi8('A' - '0' - 10));
    return _mm_add_epi8(_mm_add_epi8(values, _mm_set1_epi8('0')), letters);
}

}  // namespace
#endif

void WriteUpperHex(char* out, const std::uint8_t* bytes, std::size_t count)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    // Eight bytes at a time: high and low halves interleaved as digit pairs.
    const __m128i low4 = _mm_set1_epi8(0x0F);
    for (; count - i >= 8; i += 8) {
        const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i high = HexDigits(_mm_and_si128(_mm_srli_epi16(b, 4), low4));
        const __m128i low = HexDigits(_mm_and_si128(b, low4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi8(high, low));
    }
#endif
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (; i < count; ++i) {
        out[2 * i] = kHex[bytes[i] >> 4];
        out[2 * i + 1] = kHex[bytes[i] & 0x0F];
    }
}

std::u16string Utf8ToWide(const std::uint8_t* data, std::size_t size)
{
    std::u16string out;
    out.reserve(size);
    AppendUtf8AsWide(out, data, size);
    return out;
}

namespace {

void AppendCodePointUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Walks stored UTF-16 code units and hands each code point (U+FFFD for an
// unpaired surrogate or an odd trailing byte) to `emit`.
template <typename Emit>
void ForEachUtf16CodePoint(const std::uint8_t* data, std::size_t size, bool bigEndian, Emit emit)
{
    const std::size_t units = size / 2;
    auto unitAt = [&](std::size_t j) -> char16_t {
        const std::uint8_t a = data[2 * j], b = data[2 * j + 1];
        return bigEndian ? static_cast<char16_t>((a << 8) | b) : static_cast<char16_t>((b << 8) | a);
    };
    for (std::size_t k = 0; k < units; ++k) {
        const char16_t u = unitAt(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
            const char16_t v = unitAt(k + 1);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                emit(0x10000 + ((std::uint32_t(u) - 0xD800) << 10) + (v - 0xDC00));
                ++k;
                continue;
            }
        }
        emit(u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
    }
    if (size % 2 != 0)
        emit(kReplacement);
}

}  // namespace

void AppendUtf16AsWide(std::u16string& out, const std::uint8_t* data, std::size_t size,
                       bool bigEndian)
{
    ForEachUtf16CodePoint(data, size, bigEndian, [&](std::uint32_t cp) { AppendCodePoint(out, cp); });
}

void AppendUtf16AsUtf8(std::string& out, const std::uint8_t* data, std::size_t size,
                       bool bigEndian)
{
    ForEachUtf16CodePoint(data, size, bigEndian,
                          [&](std::uint32_t cp) { AppendCodePointUtf8(out, cp); });
}

void AppendWideAsUtf8(std::string& out, std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A run of ASCII goes out byte for unit.
        std::size_t run = i;
        while (run < text.size() && text[run] < 0x80)
            ++run;
        if (run != i) {
            const std::size_t at = out.size();
            out.resize(at + (run - i));
            for (std::size_t k = i; k < run; ++k)
                out[at + (k - i)] = static_cast<char>(text[k]);
            i = run - 1;
            continue;
        }
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendCodePointUtf8(out, cp);
    }
}

std::string WideToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() * 3);
    AppendWideAsUtf8(out, text);
    return out;
}

std::u16string Widen(std::string_view utf8)
{
    return Utf8ToWide(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size());
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    const auto fold = [](char16_t c) {
        return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i]))
            return false;
    return true;
}
