// Text conversions between the byte encodings found in database files and
// the program's wide text (UTF-16). Malformed input never fails: each bad
// sequence becomes U+FFFD, so what an examiner sees marks where the bytes
// were damaged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// UTF-8 bytes to UTF-16 (overlong forms, surrogates and values past
// U+10FFFF count as malformed).
std::u16string Utf8ToWide(const std::uint8_t* data, std::size_t size);
void AppendUtf8AsWide(std::u16string& out, const std::uint8_t* data, std::size_t size);

// UTF-16 code units stored little- or big-endian. An odd trailing byte and
// unpaired surrogates become U+FFFD.
void AppendUtf16AsWide(std::u16string& out, const std::uint8_t* data, std::size_t size,
                       bool bigEndian);

// Replacements for ASCII bytes in UTF-8 output: entry b, when not null,
// is written instead of byte b. Only bytes below 0x20, '"' and '\\' are
// looked up.
using AsciiEscapes = std::array<const char*, 128>;

// UTF-8 bytes up to the first NUL byte copied as valid UTF-8: each
// malformed sequence (by the rule of Utf8ToWide) becomes U+FFFD, so the
// result reads exactly as Utf8ToWide's text of those bytes would after
// WideToUtf8. With `escapes` (each at most six bytes), the bytes they name
// are replaced in the same pass.
void AppendUtf8Checked(std::string& out, const std::uint8_t* data, std::size_t size,
                       const AsciiEscapes* escapes = nullptr);
// The same written at `out`, which has room for Utf8CheckedRoom(size)
// bytes; returns the end of what was written. Bytes past the end, within
// the room, may be overwritten.
char* WriteUtf8Checked(char* out, const std::uint8_t* data, std::size_t size,
                       const AsciiEscapes* escapes = nullptr);
constexpr std::size_t Utf8CheckedRoom(std::size_t size) { return 6 * size + 32; }
// UTF-16 code units (as AppendUtf16AsWide reads them) straight to UTF-8.
void AppendUtf16AsUtf8(std::string& out, const std::uint8_t* data, std::size_t size,
                       bool bigEndian);

// `count` bytes as upper-case hexadecimal, two digits a byte, written at `out`.
void WriteUpperHex(char* out, const std::uint8_t* bytes, std::size_t count);

// Wide text to UTF-8 for output; unpaired surrogates become U+FFFD.
std::string WideToUtf8(std::u16string_view text);
void AppendWideAsUtf8(std::string& out, std::u16string_view text);

// Plain ASCII/UTF-8 literals and paths to wide text (used for paths and
// texts the program itself composes).
std::u16string Widen(std::string_view utf8);

// Equality ignoring the case of ASCII letters, as SQL compares names.
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);
