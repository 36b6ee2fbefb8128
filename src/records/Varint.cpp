#include "Varint.h"

#include <algorithm>

int ReadVarint(const std::uint8_t* data, std::int32_t& available, std::uint64_t& value)
{
    std::uint64_t v = 0;
    for (std::int32_t i = 0; i < available && i < 9; ++i) {
        if (i == 8) {
            v = (v << 8) | data[i];
            value = v;
            available = 9;
            return 0;
        }
        v = (v << 7) | (data[i] & 0x7F);
        if ((data[i] & 0x80) == 0) {
            value = v;
            available = i + 1;
            return 0;
        }
    }
    return -1;
}

bool ReadVarintAt(const std::uint8_t* data, std::uint32_t length, std::uint32_t offset,
                  std::uint64_t& value, std::uint32_t& consumed)
{
    if (offset >= length)
        return false;
    std::int32_t available = static_cast<std::int32_t>(std::min<std::uint32_t>(length - offset, 9));
    if (ReadVarint(data + offset, available, value) != 0)
        return false;
    consumed = static_cast<std::uint32_t>(available);
    return true;
}
