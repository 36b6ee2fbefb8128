// One decoded row: the display text of each value, in column order, as
// UTF-8.
//
// A row is a view of one block in the arena of its table (RowArena): the
// width of its end offsets (1, 2 or 4 bytes: the fewest that hold the
// row's text length, so a short row of nine values spends 14 bytes on its
// layout, not 40), the value count, the end offset of each value, then the
// texts back to back.
// The texts are UTF-8 (already checked: malformed stored bytes are
// U+FFFD), half the size of UTF-16 for the mostly ASCII values of phone
// databases and made without a conversion; a view converts only the values
// it shows. A view is valid while its arena holds the row: until the
// arena is cleared or destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class RowValues {
public:
    RowValues() = default;
    // `block` is a row block as WriteBlock() lays it out.
    explicit RowValues(const std::byte* block) : m_block(block) {}

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    // The value as held: its UTF-8 text, or for a row read with packed
    // values (CSqliteParser::m_bPackHeldValues) maybe a packed number.
    std::string_view operator[](std::size_t index) const;
    // The value's display text, UTF-8: a view into the row, or into `room`
    // for a packed value.
    static constexpr std::size_t kTextRoom = 128;
    using TextRoom = char[kTextRoom];
    std::string_view Text(std::size_t index, TextRoom& room) const;
    std::u16string Wide(std::size_t index) const;
    std::vector<std::u16string> ToVector() const;  // every value as wide text
    // Every value's text back to back, and where value i ends in it: the
    // row as a row sink takes it.
    std::string_view Joined() const;
    void Ends(std::vector<std::uint32_t>& ends) const;

    // The bytes of the block for `count` values with `textBytes` of text.
    static std::size_t BlockBytes(std::size_t count, std::size_t textBytes);
    // Where the texts begin in that block; at most MaxTextOffset(count).
    static std::size_t TextOffset(std::size_t count, std::size_t textBytes);
    static std::size_t MaxTextOffset(std::size_t count);
    // Writes the block of `joined` (every value's text back to back) and
    // `ends` (where value i ends in it) at `to`, BlockBytes() long.
    static void WriteBlock(std::byte* to, std::string_view joined,
                           const std::vector<std::uint32_t>& ends);
    // Writes the block's layout alone (width, count, end offsets) for
    // `textBytes` of text, which the caller puts at TextOffset().
    static void WriteHead(std::byte* to, std::size_t textBytes,
                          const std::vector<std::uint32_t>& ends);

private:
    std::size_t Width() const { return static_cast<std::size_t>(m_block[0]); }
    std::uint32_t End(std::size_t index) const;
    const char* Texts() const;

    const std::byte* m_block = nullptr;
};
