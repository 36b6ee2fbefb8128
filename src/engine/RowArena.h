// Every row of a table read, in walk order, held in one arena: row blocks
// (see RowValues) packed into large chunks, and the place of each row in a
// chunked index. Appending a row copies its block once and allocates only
// when a chunk is full, so a million rows cost a few dozen allocations,
// not a million.
//
// Rows are handed out as RowValues views into the chunks. A view stays
// valid while the arena holds its row: appending never moves a block, so
// only clear() and the arena's end invalidate views.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/RowValues.h"

class RowArena {
public:
    RowArena() = default;
    RowArena(const RowArena&) = delete;
    RowArena& operator=(const RowArena&) = delete;

    // Appends a row: `joined` holds every value's UTF-8 text back to back,
    // `ends[i]` is where value i ends in it.
    void emplace_back(std::string_view joined, const std::vector<std::uint32_t>& ends);

    // Appends a row written in place, with no copy through a joined text:
    // ClaimRow() returns where `count` values whose texts take at most
    // `textRoom` bytes go, back to back; CommitRow() takes the row, its
    // texts ending at `textEnd` and value i at ends[i] from the start.
    // Nothing else may touch the arena between the two. A claim is at most
    // kMaxClaim bytes of text; larger rows go through emplace_back().
    static constexpr std::size_t kMaxClaim = std::size_t{1} << 20;
    char* ClaimRow(std::size_t count, std::size_t textRoom);
    void CommitRow(const char* textEnd, const std::vector<std::uint32_t>& ends);
    // Forgets every row and frees the chunks.
    void clear();

    // Moving rows between arenas, for a table decoded on several threads.
    // TakeBlocks() hands out the blocks of the rows appended since its last
    // call and forgets their places, keeping the blocks in this arena's
    // chunks; AppendBlocks() appends rows whose blocks another arena holds;
    // AdoptChunks() then takes that arena's chunks over, so that its rows
    // live as long as this arena's.
    std::vector<const std::byte*> TakeBlocks();
    void swap(RowArena& other) noexcept;
    void AppendBlocks(const std::vector<const std::byte*>& blocks);
    void AdoptChunks(RowArena& other);

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    RowValues operator[](std::size_t row) const
    {
        return RowValues(m_index[row >> kIndexShift][row & (kIndexBlock - 1)]);
    }

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = RowValues;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = RowValues;

        const_iterator() = default;
        const_iterator(const RowArena* arena, std::size_t row) : m_arena(arena), m_row(row) {}
        RowValues operator*() const { return (*m_arena)[m_row]; }
        const_iterator& operator++()
        {
            ++m_row;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++m_row;
            return before;
        }
        bool operator==(const const_iterator& other) const { return m_row == other.m_row; }
        bool operator!=(const const_iterator& other) const { return m_row != other.m_row; }

    private:
        const RowArena* m_arena = nullptr;
        std::size_t m_row = 0;
    };
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, m_count); }

private:
    static constexpr std::size_t kChunkBytes = std::size_t{4} << 20;
    static_assert(kMaxClaim <= kChunkBytes / 2, "a claim must fit a fresh chunk with its layout");
    static constexpr std::size_t kIndexShift = 16;
    static constexpr std::size_t kIndexBlock = std::size_t{1} << kIndexShift;

    // Room for a block of `bytes`: at the end of the current chunk,
    // starting a new one when it is full.
    std::byte* Reserve(std::size_t bytes);
    void AddToIndex(const std::byte* block);

    std::vector<std::unique_ptr<std::byte[]>> m_chunks;
    std::byte* m_current = nullptr;  // the chunk rows are appended to
    std::size_t m_chunkUsed = 0;
    std::vector<std::unique_ptr<const std::byte*[]>> m_index;
    std::size_t m_count = 0;
    std::byte* m_claimed = nullptr;  // the block ClaimRow() handed out
    char* m_claimedText = nullptr;
};
