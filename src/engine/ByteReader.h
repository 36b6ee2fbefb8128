// Bounds-checked loads from a byte buffer. Every multi-byte number in a
// database file is big-endian; every read of one goes through these helpers,
// which take the buffer's length and report a read that would leave it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

// True when `size` bytes starting at `offset` lie inside a buffer of
// `length` bytes. Written as a subtraction so that the sum cannot wrap.
inline bool FitsIn(std::uint64_t length, std::uint64_t offset, std::uint64_t size)
{
    return offset <= length && size <= length - offset;
}

inline std::optional<std::uint8_t> Get8(const std::uint8_t* data, std::size_t length,
                                        std::size_t offset)
{
    if (!FitsIn(length, offset, 1)) return std::nullopt;
    return data[offset];
}

inline std::optional<std::uint16_t> Get16(const std::uint8_t* data, std::size_t length,
                                          std::size_t offset)
{
    if (!FitsIn(length, offset, 2)) return std::nullopt;
    return static_cast<std::uint16_t>((data[offset] << 8) | data[offset + 1]);
}

inline std::optional<std::uint32_t> Get32(const std::uint8_t* data, std::size_t length,
                                          std::size_t offset)
{
    if (!FitsIn(length, offset, 4)) return std::nullopt;
    return (static_cast<std::uint32_t>(data[offset]) << 24) |
           (static_cast<std::uint32_t>(data[offset + 1]) << 16) |
           (static_cast<std::uint32_t>(data[offset + 2]) << 8) |
           static_cast<std::uint32_t>(data[offset + 3]);
}

// The big-endian unsigned value of `size` bytes (0 to 8). The caller has
// checked that they lie inside its buffer.
inline std::uint64_t LoadBigEndian(const std::uint8_t* bytes, std::size_t size)
{
    if (size == 8 && std::endian::native == std::endian::little) {
        // Reals and large integers: one load and a byte swap.
        std::uint64_t word;
        std::memcpy(&word, bytes, sizeof word);
        return __builtin_bswap64(word);
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = (value << 8) | bytes[i];
    return value;
}
