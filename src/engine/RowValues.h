// One decoded row: the display text of each value, in column order.
//
// A table read keeps every row of a table in memory, so a row is one heap
// block: the value count, the end offset of each value, then the texts
// back to back. A million rows cost a million blocks, not seven million
// strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class RowValues {
public:
    RowValues() = default;
    // `joined` holds every value's text back to back; `ends[i]` is where
    // value i ends in it.
    RowValues(std::u16string_view joined, const std::vector<std::uint32_t>& ends);
    RowValues(const RowValues& other);
    RowValues& operator=(const RowValues& other);
    RowValues(RowValues&&) noexcept = default;
    RowValues& operator=(RowValues&&) noexcept = default;

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    std::u16string_view operator[](std::size_t index) const;
    std::vector<std::u16string> ToVector() const;

private:
    std::size_t BlockBytes() const;
    const std::uint32_t* Header() const;
    const char16_t* Text() const;

    std::unique_ptr<std::byte[]> m_block;
};
