// The fast part of WriteUtf8Checked: UTF-8 checked, escaped and copied
// thirty-two bytes at a time where the processor has AVX2. Only the plain
// cases are taken here; everything else is left to the caller's
// one-sequence-at-a-time loop, which stays the rule.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/TextConvert.h"

// Bytes one block checks at once.
constexpr std::size_t kUtf8BlockBytes = 32;

// Where CopyUtf8Blocks stopped: data[i] is the next byte to take, `out` the
// place its text goes.
struct Utf8BlocksEnd {
    char* out;
    std::size_t i;
};

// True when CopyUtf8Blocks does any work on this processor.
bool HasUtf8Blocks();

// Copies the well-formed UTF-8 at data[i, size) to `out` (`i` a sequence
// start), writing the replacement `escapes` names for each ASCII byte it
// names (every escapable byte is one of IsUtf8Escapable's), until the end of
// the text, a NUL byte, or a block with a malformed sequence. It stops at the
// NUL byte, or at the start of the sequence under way where that block
// begins, so the caller's loop reads on from a sequence start. Up to
// kUtf8BlockBytes bytes past the returned `out` may have been written, all
// within the room Utf8CheckedRoom(size) (six bytes for each byte read, and
// one block) from the place of the text's first byte. Without
// AVX2 it returns {out, i}.
Utf8BlocksEnd CopyUtf8Blocks(char* out, const std::uint8_t* data, std::size_t size, std::size_t i,
                             const AsciiEscapes* escapes);

// The ASCII bytes a text's output may replace: controls, '"' and '\\'.
constexpr bool IsUtf8Escapable(std::uint8_t b) { return b < 0x20 || b == '"' || b == '\\'; }
