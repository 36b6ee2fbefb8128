#pragma once

#include <cstdint>

// Reads an SQLite varint: 1 to 9 bytes, big-endian groups of 7 bits, the
// high bit set on every byte but the last; a ninth byte contributes all 8
// bits. `available` is the number of readable bytes on entry and the number
// consumed on success. Returns 0, or -1 when the bytes run out first.
int ReadVarint(const std::uint8_t* data, std::int32_t& available, std::uint64_t& value);

// Reads a varint at `offset` of a buffer of `length` bytes; `consumed` gets
// its length. False when the offset is outside the buffer or the varint
// does not end inside it.
bool ReadVarintAt(const std::uint8_t* data, std::uint32_t length, std::uint32_t offset,
                  std::uint64_t& value, std::uint32_t& consumed);
