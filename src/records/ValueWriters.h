// The display rules for values, written onto the forms of display text:
// wide text, UTF-8 strings, a cursor in claimed room (Utf8Cursor), and the
// packed form of the table window's rows (PackingCursor). Shared by the
// record decoder and by the text of a packed value (HeldValue.cpp); kept
// in line, as the decoder writes every value of a table through them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/IntegerFormat.h"
#include "platform/RealFormat.h"
#include "platform/TextConvert.h"
#include "records/RecordDecoder.h"

namespace value_writers {

// The shortest text that reads back as `value`, with ".0" added where that
// text would look like an integer ("3.0", "-0.0"; "1e+15" and "inf" stay).
template <typename Text>
void AppendReal(Text& out, double value);

// A blob shows as hexadecimal of this many leading bytes at most.
constexpr std::uint64_t kBlobPreviewBytes = 32;

// The two forms of display text: UTF-8 for m_rows and for a row sink that
// prints (the command line), so that UTF-8 stored text is checked and
// copied, not converted twice; wide for a sink that asks for it.
inline void AppendAscii(std::u16string& out, const char* text, std::size_t size)
{
    out.append(text, text + size);
}
inline void AppendAscii(std::string& out, const char* text, std::size_t size) { out.append(text, size); }

// The third form: a place in the room claimed from a CTextBuffer (see
// ValueRoom), written through with no check of its own.
struct Utf8Cursor {
    char* at;
};
// Texts of up to sixteen bytes (separators, numbers) are moved as two
// fixed-size pieces that may overlap: a call of memcpy for a few bytes of
// varying length costs more than the bytes.
template <std::size_t N>
void CopyTwoPieces(char* to, const char* from, std::size_t size)
{
    std::memcpy(to, from, N);
    std::memcpy(to + size - N, from + size - N, N);
}
// Taken in line: most calls move a one- to three-byte separator.
[[gnu::always_inline]] inline void AppendAscii(Utf8Cursor& out, const char* text, std::size_t size)
{
    if (size > 16)
        std::memcpy(out.at, text, size);
    else if (size >= 8)
        CopyTwoPieces<8>(out.at, text, size);
    else if (size >= 4)
        CopyTwoPieces<4>(out.at, text, size);
    else if (size >= 2)
        CopyTwoPieces<2>(out.at, text, size);
    else if (size == 1)
        *out.at = *text;
    out.at += size;
}

inline void AppendEllipsis(std::u16string& out) { out.push_back(u'\u2026'); }
template <typename Text>
void AppendEllipsis(Text& out) { AppendAscii(out, "\xE2\x80\xA6", 3); }

template <typename Text>
void AppendInteger(Text& out, std::int64_t value)
{
    char digits[kIntegerMax];
    AppendAscii(out, digits, static_cast<std::size_t>(WriteInteger(digits, value) - digits));
}
inline void AppendInteger(Utf8Cursor& out, std::int64_t value) { out.at = WriteInteger(out.at, value); }

template <typename Text>
void AppendHex(Text& out, const std::uint8_t* bytes, std::uint64_t count)
{
    char hex[2 * kBlobPreviewBytes];
    WriteUpperHex(hex, bytes, count);
    AppendAscii(out, hex, 2 * count);
}
inline void AppendHex(Utf8Cursor& out, const std::uint8_t* bytes, std::uint64_t count)
{
    WriteUpperHex(out.at, bytes, count);
    out.at += 2 * count;
}

template <typename Text>
void AppendBlob(Text& out, const std::uint8_t* bytes, std::uint64_t available, std::uint64_t size)
{
    const std::uint64_t shown = std::min({available, size, kBlobPreviewBytes});
    AppendHex(out, bytes, shown);
    if (size > kBlobPreviewBytes) {
        AppendEllipsis(out);
        AppendAscii(out, " (", 2);
        AppendInteger(out, static_cast<std::int64_t>(size));
        AppendAscii(out, " bytes)", 7);
    }
}

inline void AppendText(std::u16string& out, const std::uint8_t* bytes, std::uint64_t size,
                std::uint32_t encoding, const AsciiEscapes*)
{
    AppendStoredText(out, bytes, size, encoding);
}

// Stored UTF-16 text as UTF-8, in a scratch string valid until the next call.
inline const std::string& StoredUtf16AsUtf8(const std::uint8_t* bytes, std::uint64_t size,
                                     std::uint32_t encoding)
{
    thread_local std::string converted;
    converted.clear();
    AppendUtf16AsUtf8(converted, bytes, StoredTextLength(bytes, size, encoding),
                      encoding == kUtf16be);
    return converted;
}

inline const std::uint8_t* BytesOf(const std::string& text)
{
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

inline void AppendText(std::string& out, const std::uint8_t* bytes, std::uint64_t size,
                std::uint32_t encoding, const AsciiEscapes* escapes)
{
    if (encoding == kUtf16le || encoding == kUtf16be) {
        const std::string& converted = StoredUtf16AsUtf8(bytes, size, encoding);
        AppendUtf8Checked(out, BytesOf(converted), converted.size(), escapes);
    } else {
        AppendUtf8Checked(out, bytes, size, escapes);  // ends at the first NUL itself
    }
}

inline void AppendText(Utf8Cursor& out, const std::uint8_t* bytes, std::uint64_t size,
                std::uint32_t encoding, const AsciiEscapes* escapes)
{
    if (encoding == kUtf16le || encoding == kUtf16be) {
        const std::string& converted = StoredUtf16AsUtf8(bytes, size, encoding);
        out.at = WriteUtf8Checked(out.at, BytesOf(converted), converted.size(), escapes);
    } else {
        out.at = WriteUtf8Checked(out.at, bytes, size, escapes);
    }
}

// The held form of a value in m_rows when the parser holds values packed
// (CSqliteParser::m_bPackHeldValues): a number or a blob keeps its bytes,
// not its text, and becomes text only where it is shown (HeldValueText).
// A packed value starts with a byte no UTF-8 text starts with, and the
// held texts are always checked UTF-8, so the two never mix up:
//   0xF8, 8 bytes           a real: the double's bytes, in native order
//   0xF9, 1 to 8 bytes      an integer, little-endian two's complement cut
//                           to the fewest bytes that hold it
//   0xFA, LEB128 size, ...  a blob: its size, then at most kBlobPreviewBytes
//                           of its leading bytes
// Integers of up to four characters stay text, no longer than packed.
enum HeldTag : std::uint8_t { kHeldReal = 0xF8, kHeldInteger = 0xF9, kHeldBlob = 0xFA };

struct PackingCursor {
    char* at;
};

inline void AppendInteger(PackingCursor& out, std::int64_t value)
{
    if (value > -1000 && value < 10000) {
        out.at = WriteInteger(out.at, value);
        return;
    }
    std::size_t bytes = 1;
    while (bytes < 8 && (value >> (8 * bytes - 1)) != 0 && (value >> (8 * bytes - 1)) != -1)
        ++bytes;
    *out.at++ = static_cast<char>(kHeldInteger);
    const auto bits = static_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < bytes; ++i)
        *out.at++ = static_cast<char>(bits >> (8 * i));
}

inline void AppendReal(PackingCursor& out, double value)
{
    *out.at++ = static_cast<char>(kHeldReal);
    std::memcpy(out.at, &value, sizeof value);
    out.at += sizeof value;
}

inline void AppendBlob(PackingCursor& out, const std::uint8_t* bytes, std::uint64_t available,
                std::uint64_t size)
{
    if (size == 0)
        return;  // shows empty, as an empty text does
    const std::uint64_t shown = std::min({available, size, kBlobPreviewBytes});
    *out.at++ = static_cast<char>(kHeldBlob);
    std::uint64_t rest = size;
    do {
        const auto low = static_cast<std::uint8_t>(rest & 0x7F);
        rest >>= 7;
        *out.at++ = static_cast<char>(rest != 0 ? low | 0x80 : low);
    } while (rest != 0);
    std::memcpy(out.at, bytes, shown);
    out.at += shown;
}

inline void AppendText(PackingCursor& out, const std::uint8_t* bytes, std::uint64_t size,
                std::uint32_t encoding, const AsciiEscapes* escapes)
{
    Utf8Cursor text{out.at};
    AppendText(text, bytes, size, encoding, escapes);
    out.at = text.at;
}

template <typename Text>
void AppendReal(Text& out, double value)
{
    char digits[kShortestRealMax];
    const std::size_t size = static_cast<std::size_t>(WriteShortestReal(digits, value) - digits);
    AppendAscii(out, digits, size);
    // A real never reads as an integer: "3" becomes "3.0". Texts with a
    // point, an exponent, "inf" or "nan" are left as they are.
    const bool integral = std::all_of(digits, digits + size, [](char c) {
        return c == '-' || (c >= '0' && c <= '9');
    });
    if (integral)
        AppendAscii(out, ".0", 2);
}

}  // namespace value_writers
