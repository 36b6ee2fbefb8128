// One decoded row: the display text of each value, in column order, as
// UTF-8.
//
// A table read keeps every row of a table in memory, so a row is one heap
// block: the value count, the end offset of each value, then the texts
// back to back. A million rows cost a million blocks, not seven million
// strings. The texts are UTF-8 (already checked: malformed stored bytes are
// U+FFFD), half the size of UTF-16 for the mostly ASCII values of phone
// databases and made without a conversion; a view converts only the values
// it shows.
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
    // `joined` holds every value's UTF-8 text back to back; `ends[i]` is
    // where value i ends in it.
    RowValues(std::string_view joined, const std::vector<std::uint32_t>& ends);
    RowValues(const RowValues& other);
    RowValues& operator=(const RowValues& other);
    RowValues(RowValues&&) noexcept = default;
    RowValues& operator=(RowValues&&) noexcept = default;

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    std::string_view operator[](std::size_t index) const;  // UTF-8
    std::u16string Wide(std::size_t index) const;
    std::vector<std::u16string> ToVector() const;  // every value as wide text

private:
    std::size_t BlockBytes() const;
    const std::uint32_t* Header() const;
    const char* Text() const;

    std::unique_ptr<std::byte[]> m_block;
};
