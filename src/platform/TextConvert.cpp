#include "TextConvert.h"

#include <cstring>
#include <memory>
#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
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

bool IsEscapable(std::uint8_t b) { return b < 0x20 || b == '"' || b == '\\'; }

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

#if defined(__SSE2__)
std::uint32_t BytesEqual(__m128i block, std::uint8_t value)
{
    return static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(value)))));
}

std::uint32_t EscapableBytes(__m128i block)
{
    const __m128i controlMax = _mm_set1_epi8(0x1F);
    return static_cast<std::uint32_t>(
               _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(block, controlMax), controlMax))) |
           BytesEqual(block, '"') | BytesEqual(block, '\\');
}

// The start of the sequence under way at `i` of checked bytes: `i` itself
// unless `pending` says the previous block's last sequence goes on.
std::size_t SequenceStart(const std::uint8_t* data, std::size_t i, bool pending)
{
    if (pending) {
        while (IsContinuation(data[i - 1]))
            --i;
        --i;
    }
    return i;
}
#endif

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define SALVIX_UTF8_BLOCKS 1

// Sixteen bytes are checked at once by looking up, for each byte, the
// faults its pair with the byte before could make (a byte pair tells every
// fault of the rule but a missing third or fourth byte), by the high and
// low half of the first byte and the high half of the second; a byte is
// wrong when all three lookups share a fault. The byte pairs:
//   too short   a lead, then no continuation byte
//   too long    an ASCII byte, then a continuation byte
//   two conts   two continuation bytes where the second is not due
//   overlong    E0 then 80..9F, F0 then 80..8F, C0 or C1 then any
//   surrogate   ED then A0..BF
//   too large   F4 then 90..BF, F5..FF then any
// A continuation byte two or three places after a three- or four-byte lead
// is due: the "two conts" fault is cleared there, and is a fault where it
// is missing.
enum : std::uint8_t {
    kTooShort = 1 << 0,
    kTooLong = 1 << 1,
    kOverlong3 = 1 << 2,
    kTooLarge = 1 << 3,
    kSurrogate = 1 << 4,
    kOverlong2 = 1 << 5,
    kTooLarge1000 = 1 << 6,  // F5..FF then 80..8F
    kOverlong4 = 1 << 6,     // F0 then 80..8F: told apart by the low half
    kTwoConts = 1 << 7,
    kCarry = kTooShort | kTooLong | kTwoConts,  // faults that need no low half
};

__attribute__((target("ssse3"))) __m128i HalfLookup(__m128i halves, const std::uint8_t (&table)[16])
{
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table)), halves);
}

// The faulty bytes of `block` (non-zero bytes), `previous` the sixteen
// bytes before it.
__attribute__((target("ssse3"))) __m128i Utf8Faults(__m128i block, __m128i previous)
{
    static constexpr std::uint8_t kFirstHigh[16] = {
        kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,  // ASCII
        kTwoConts, kTwoConts, kTwoConts, kTwoConts,                                      // 80..BF
        kTooShort | kOverlong2,                                                          // C0..CF
        kTooShort,                                                                       // D0..DF
        kTooShort | kOverlong3 | kSurrogate,                                             // E0..EF
        kTooShort | kTooLarge | kTooLarge1000 | kOverlong4};                             // F0..FF
    static constexpr std::uint8_t kFirstLow[16] = {
        kCarry | kOverlong3 | kOverlong2 | kOverlong4,  // x0
        kCarry | kOverlong2,                            // x1
        kCarry, kCarry,                                 // x2, x3
        kCarry | kTooLarge,                             // x4
        kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000,
        kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000,
        kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000,
        kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000,
        kCarry | kTooLarge | kTooLarge1000 | kSurrogate,  // xD
        kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000};
    static constexpr std::uint8_t kSecondHigh[16] = {
        kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
        kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4,  // 80..8F
        kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,                   // 90..9F
        kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,                   // A0..AF
        kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,                   // B0..BF
        kTooShort, kTooShort, kTooShort, kTooShort};                                  // C0..FF
    const __m128i low4 = _mm_set1_epi8(0x0F);
    const __m128i before1 = _mm_alignr_epi8(block, previous, 15);
    const __m128i pairFaults = _mm_and_si128(
        _mm_and_si128(HalfLookup(_mm_and_si128(_mm_srli_epi16(before1, 4), low4), kFirstHigh),
                      HalfLookup(_mm_and_si128(before1, low4), kFirstLow)),
        HalfLookup(_mm_and_si128(_mm_srli_epi16(block, 4), low4), kSecondHigh));
    // Bytes two after E0..FF or three after F0..FF are due continuations.
    const __m128i third = _mm_subs_epu8(_mm_alignr_epi8(block, previous, 14), _mm_set1_epi8(static_cast<char>(0xE0 - 0x80)));
    const __m128i fourth = _mm_subs_epu8(_mm_alignr_epi8(block, previous, 13), _mm_set1_epi8(static_cast<char>(0xF0 - 0x80)));
    const __m128i due = _mm_and_si128(_mm_or_si128(third, fourth), _mm_set1_epi8(static_cast<char>(0x80)));
    return _mm_xor_si128(due, pairFaults);
}

// True when `block` ends inside a sequence: a lead of two or more bytes in
// its last byte, of three or more in the one before, of four in the third last.
bool EndsInsideSequence(__m128i block)
{
    const __m128i limits = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                         static_cast<char>(0xEF), static_cast<char>(0xDF),
                                         static_cast<char>(0xBF));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(block, limits), _mm_setzero_si128())) !=
           0xFFFF;
}

// The bytes from `i` to the end (fewer than sixteen) followed by spaces.
__attribute__((target("ssse3"))) __m128i LastBytesThenSpaces(const std::uint8_t* data,
                                                             std::size_t size, std::size_t i)
{
    const std::size_t count = size - i;
    if (size < 16) {
        alignas(16) std::uint8_t last[16];
        std::memset(last, ' ', sizeof last);
        std::memcpy(last, data + i, count);
        return _mm_load_si128(reinterpret_cast<const __m128i*>(last));
    }
    // The text's last sixteen bytes, moved down by the ones already checked
    // (a shuffle index of 0x80 gives zero), with spaces after them.
    static constexpr std::uint8_t kMoveDown[32] = {
        0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
        0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
    static constexpr std::uint8_t kSpacesAfter[32] = {
        0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + size - 16));
    const __m128i moved = _mm_shuffle_epi8(
        tail, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMoveDown + 16 - count)));
    return _mm_or_si128(moved,
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSpacesAfter + 16 - count)));
}

__attribute__((target("ssse3"))) std::size_t CopyWellFormedBlocksSsse3(char* out, const std::uint8_t* data,
                                                                     std::size_t size, std::size_t i)
{
    char* const base = out - i;
    __m128i previous = _mm_setzero_si128();
    bool pending = false;  // the previous block ends inside a sequence
    while (size - i >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(base + i), block);
        if (EscapableBytes(block) != 0)
            return SequenceStart(data, i, pending);
        if (_mm_movemask_epi8(block) != 0 || pending) {
            const __m128i faults = Utf8Faults(block, previous);
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(faults, _mm_setzero_si128())) != 0xFFFF)
                return SequenceStart(data, i, pending);
            pending = EndsInsideSequence(block);
        }
        previous = block;
        i += 16;
    }
    // The last bytes, followed by spaces: a sequence they leave unfinished
    // is then a fault of the last block.
    const __m128i block = LastBytesThenSpaces(data, size, i);
    if (EscapableBytes(block) != 0 ||
        _mm_movemask_epi8(_mm_cmpeq_epi8(Utf8Faults(block, previous), _mm_setzero_si128())) != 0xFFFF)
        return SequenceStart(data, i, pending);
    std::memcpy(base + i, data + i, size - i);
    return size;
}

const bool g_hasSsse3 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
}();
#endif

// Where the one-sequence-at-a-time loop must take over from `i` (a
// sequence start): blocks of sixteen bytes that hold only well-formed
// sequences (or the rest of one begun before) and no escapable byte are
// passed over, and so are the last bytes when they hold only such.
// Each block is stored at `out` (the place of byte `i`) as it is read, so
// the bytes passed over are copied in the same pass; bytes stored past the
// returned place are left for the caller to overwrite. The return is the end
// of the text, or the start of the sequence under way where the first other
// block begins: at most three bytes before it. Without the processor's
// byte shuffle, `i` itself.
std::size_t CopyWellFormedBlocks(char* out, const std::uint8_t* data, std::size_t size,
                                 std::size_t i)
{
#if defined(SALVIX_UTF8_BLOCKS)
    if (g_hasSsse3)
        return CopyWellFormedBlocksSsse3(out, data, size, i);
#endif
    (void)out;
    (void)data;
    (void)size;
    return i;
}

char* CopyBytes(char* out, const std::uint8_t* data, std::size_t count)
{
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
    // Blocks are checked (and copied) sixteen bytes at once; from a block
    // that holds anything else, the bytes are taken one sequence at a time
    // until the block is passed.
    std::size_t scalarUntil = 0;
    while (i < size) {
        if (i >= scalarUntil) {
            out = CopyBytes(out, data + copied, i - copied);
            const std::size_t end = CopyWellFormedBlocks(out, data, size, i);
            out += end - i;
            i = copied = end;
            scalarUntil = i + 16 + 3;
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
