#include "Utf8Blocks.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SALVIX_UTF8_BLOCKS 1
#endif

#if defined(SALVIX_UTF8_BLOCKS)
namespace {

bool IsContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

// Bytes a sequence takes from its lead byte (1 for ASCII and for bytes that
// cannot start one: those are faults the blocks never pass).
std::size_t LeadLength(std::uint8_t lead)
{
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// The start of the sequence under way at data[i]: `i` itself unless the
// checked bytes from `begin` end in a lead whose continuation bytes run on
// past `i`.
std::size_t SequenceStart(const std::uint8_t* data, std::size_t begin, std::size_t i)
{
    std::size_t j = i;
    while (j > begin && i - j < 3 && IsContinuation(data[j - 1]))
        --j;
    if (j > begin && LeadLength(data[j - 1]) > i - j + 1)
        return j - 1;
    return i;
}

// Thirty-two bytes are checked at once by looking up, for each byte, the
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

constexpr std::uint8_t kFirstHigh[16] = {
    kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,  // ASCII
    kTwoConts, kTwoConts, kTwoConts, kTwoConts,                                      // 80..BF
    kTooShort | kOverlong2,                                                          // C0..CF
    kTooShort,                                                                       // D0..DF
    kTooShort | kOverlong3 | kSurrogate,                                             // E0..EF
    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4};                             // F0..FF
constexpr std::uint8_t kFirstLow[16] = {
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
constexpr std::uint8_t kSecondHigh[16] = {
    kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4,  // 80..8F
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,                   // 90..9F
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,                   // A0..AF
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,                   // B0..BF
    kTooShort, kTooShort, kTooShort, kTooShort};                                  // C0..FF

#define SALVIX_AVX2 __attribute__((target("avx2")))

// The table's entry for each byte's half (0 to 15).
SALVIX_AVX2 __m256i HalfLookup(__m256i halves, const std::uint8_t (&table)[16])
{
    const __m128i entries = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table));
    return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(entries), halves);
}

SALVIX_AVX2 __m256i HighHalves(__m256i bytes)
{
    return _mm256_and_si256(_mm256_srli_epi16(bytes, 4), _mm256_set1_epi8(0x0F));
}

// The bytes of `block` moved up by N places, the last N of `previous`
// coming in below.
template <int N>
SALVIX_AVX2 __m256i BytesBefore(__m256i block, __m256i previous)
{
    return _mm256_alignr_epi8(block, _mm256_permute2x128_si256(previous, block, 0x21), 16 - N);
}

// One bit for each faulty byte of `block`, `previous` the thirty-two bytes
// before it.
SALVIX_AVX2 std::uint32_t Utf8Faults(__m256i block, __m256i previous)
{
    const __m256i before1 = BytesBefore<1>(block, previous);
    const __m256i pairFaults = _mm256_and_si256(
        _mm256_and_si256(HalfLookup(HighHalves(before1), kFirstHigh),
                         HalfLookup(_mm256_and_si256(before1, _mm256_set1_epi8(0x0F)), kFirstLow)),
        HalfLookup(HighHalves(block), kSecondHigh));
    // Bytes two after E0..FF or three after F0..FF are due continuations.
    const __m256i third = _mm256_subs_epu8(BytesBefore<2>(block, previous),
                                           _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80)));
    const __m256i fourth = _mm256_subs_epu8(BytesBefore<3>(block, previous),
                                            _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80)));
    const __m256i due = _mm256_and_si256(_mm256_or_si256(third, fourth),
                                         _mm256_set1_epi8(static_cast<char>(0x80)));
    const __m256i faults = _mm256_xor_si256(due, pairFaults);
    return ~static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(faults, _mm256_setzero_si256())));
}

// One bit for each byte of `block` the caller must look at: with escapes,
// every byte IsUtf8Escapable names; without, NUL only.
SALVIX_AVX2 __m256i BytesEqual(__m256i block, char value)
{
    return _mm256_cmpeq_epi8(block, _mm256_set1_epi8(value));
}

SALVIX_AVX2 std::uint32_t SpecialBytes(__m256i block, bool escaping)
{
    if (!escaping)
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(BytesEqual(block, 0)));
    const __m256i controlMax = _mm256_set1_epi8(0x1F);
    const __m256i control = _mm256_cmpeq_epi8(_mm256_max_epu8(block, controlMax), controlMax);
    const __m256i quoteOrBackslash = _mm256_or_si256(BytesEqual(block, '"'), BytesEqual(block, '\\'));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(control, quoteOrBackslash)));
}

// The last `count` (at most sixteen) of the sixteen bytes at `tail`, moved
// to the front, followed by spaces: a byte shuffle whose indices are a
// window on a table (an index of 0x80 gives zero), so no copy of varying
// length is made and no bytes are stored to be read back.
SALVIX_AVX2 __m128i LastOfSixteenThenSpaces(const std::uint8_t* tail, std::size_t count)
{
    static constexpr std::uint8_t kMoveDown[32] = {
        0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
        0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
    static constexpr std::uint8_t kSpacesAfter[32] = {
        0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tail));
    const __m128i moved = _mm_shuffle_epi8(
        bytes, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMoveDown + 16 - count)));
    return _mm_or_si128(moved, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSpacesAfter + 16 - count)));
}

// The text's bytes from `i` to its end (fewer than thirty-two) followed by
// spaces: a sequence they leave unfinished is then a fault of this block.
// Only a text shorter than sixteen bytes is copied out to be read.
SALVIX_AVX2 __m256i LastBytesThenSpaces(const std::uint8_t* data, std::size_t size, std::size_t i)
{
    const std::size_t count = size - i;
    const __m128i spaces = _mm_set1_epi8(' ');
    if (size < 16) {
        alignas(16) std::uint8_t last[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(last), spaces);
        std::memcpy(last, data + i, count);
        return _mm256_set_m128i(spaces, _mm_load_si128(reinterpret_cast<const __m128i*>(last)));
    }
    const std::uint8_t* lastSixteen = data + size - 16;
    if (count < 16)
        return _mm256_set_m128i(spaces, LastOfSixteenThenSpaces(lastSixteen, count));
    return _mm256_set_m128i(LastOfSixteenThenSpaces(lastSixteen, count - 16),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)));
}

// Writes the output for the special ASCII byte `b` at `out`.
char* WriteSpecial(char* out, std::uint8_t b, const AsciiEscapes* escapes)
{
    const char* replacement = escapes ? (*escapes)[b] : nullptr;
    if (replacement == nullptr) {
        *out = static_cast<char>(b);
        return out + 1;
    }
    const std::size_t length = std::strlen(replacement);
    std::memcpy(out, replacement, length);
    return out + length;
}

SALVIX_AVX2 Utf8BlocksEnd CopyUtf8BlocksAvx2(char* out, const std::uint8_t* data, std::size_t size,
                                             std::size_t i, const AsciiEscapes* escapes)
{
    const std::size_t begin = i;
    __m256i previous = _mm256_setzero_si256();
    bool previousAscii = true;
    for (;;) {
        const std::size_t count = size - i < kUtf8BlockBytes ? size - i : kUtf8BlockBytes;
        const __m256i block = count == kUtf8BlockBytes
                                  ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i))
                                  : LastBytesThenSpaces(data, size, i);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), block);
        // ASCII after ASCII cannot be malformed: the lookups are skipped.
        const bool ascii = _mm256_movemask_epi8(block) == 0;
        const std::uint32_t faults = ascii && previousAscii ? 0 : Utf8Faults(block, previous);
        const std::uint32_t special = SpecialBytes(block, escapes != nullptr);
        if ((faults | special) == 0) {
            if (count < kUtf8BlockBytes)
                return {out + count, size};
            out += kUtf8BlockBytes;
            i += kUtf8BlockBytes;
            previous = block;
            previousAscii = ascii;
            continue;
        }
        // A fault before the first special byte, or at it (a sequence cut
        // short by it), is the caller's to take.
        const unsigned first = special != 0 ? static_cast<unsigned>(__builtin_ctz(special)) : 32;
        if ((faults & ((2ULL << first) - 1)) != 0) {
            const std::size_t start = SequenceStart(data, begin, i);
            return {out - (i - start), start};
        }
        // The bytes before the special one are whole sequences: they stay,
        // the special byte is written as the escapes say, and the next block
        // starts after it (an ASCII byte, so nothing is under way there).
        out += first;
        i += first;
        if (data[i] == 0)
            return {out, i};  // the text ends at its first NUL
        out = WriteSpecial(out, data[i], escapes);
        ++i;
        previous = _mm256_setzero_si256();
        previousAscii = true;
    }
}

const bool g_hasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

}  // namespace
#endif

bool HasUtf8Blocks()
{
#if defined(SALVIX_UTF8_BLOCKS)
    return g_hasAvx2;
#else
    return false;
#endif
}

Utf8BlocksEnd CopyUtf8Blocks(char* out, const std::uint8_t* data, std::size_t size, std::size_t i,
                             const AsciiEscapes* escapes)
{
#if defined(SALVIX_UTF8_BLOCKS)
    if (g_hasAvx2)
        return CopyUtf8BlocksAvx2(out, data, size, i, escapes);
#endif
    (void)data;
    (void)size;
    (void)escapes;
    return {out, i};
}
