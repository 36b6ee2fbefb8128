#include "RowArena.h"

#include <cstring>
#include <utility>

void RowArena::emplace_back(std::string_view joined, const std::vector<std::uint32_t>& ends)
{
    const std::size_t bytes = RowValues::BlockBytes(ends.size(), joined.size());
    std::byte* block = Reserve(bytes);
    RowValues::WriteBlock(block, joined, ends);
    AddToIndex(block);
}

char* RowArena::ClaimRow(std::size_t count, std::size_t textRoom)
{
    const std::size_t head = RowValues::MaxTextOffset(count);
    if (m_current == nullptr || kChunkBytes - m_chunkUsed < head + textRoom) {
        m_chunks.emplace_back(new std::byte[kChunkBytes]);
        m_current = m_chunks.back().get();
        m_chunkUsed = 0;
    }
    m_claimed = m_current + m_chunkUsed;
    m_claimedText = reinterpret_cast<char*>(m_claimed + head);
    return m_claimedText;
}

void RowArena::CommitRow(const char* textEnd, const std::vector<std::uint32_t>& ends)
{
    // The texts were written after room for the widest layout; a row whose
    // text is short takes narrower end offsets, so its texts move down.
    const auto textBytes = static_cast<std::size_t>(textEnd - m_claimedText);
    const std::size_t offset = RowValues::TextOffset(ends.size(), textBytes);
    std::byte* text = m_claimed + offset;
    if (reinterpret_cast<char*>(text) != m_claimedText && textBytes != 0)
        std::memmove(text, m_claimedText, textBytes);
    RowValues::WriteHead(m_claimed, textBytes, ends);
    m_chunkUsed += offset + textBytes;
    AddToIndex(m_claimed);
    m_claimed = nullptr;
    m_claimedText = nullptr;
}

void RowArena::clear()
{
    m_chunks.clear();
    m_current = nullptr;
    m_chunkUsed = 0;
    m_index.clear();
    m_count = 0;
}

std::vector<const std::byte*> RowArena::TakeBlocks()
{
    std::vector<const std::byte*> blocks;
    blocks.reserve(m_count);
    for (std::size_t row = 0; row < m_count; ++row)
        blocks.push_back(m_index[row >> kIndexShift][row & (kIndexBlock - 1)]);
    m_index.clear();
    m_count = 0;
    return blocks;
}

void RowArena::swap(RowArena& other) noexcept
{
    std::swap(m_chunks, other.m_chunks);
    std::swap(m_current, other.m_current);
    std::swap(m_chunkUsed, other.m_chunkUsed);
    std::swap(m_index, other.m_index);
    std::swap(m_count, other.m_count);
    std::swap(m_claimed, other.m_claimed);
    std::swap(m_claimedText, other.m_claimedText);
}

void RowArena::AppendBlocks(const std::vector<const std::byte*>& blocks)
{
    for (const std::byte* block : blocks)
        AddToIndex(block);
}

void RowArena::AdoptChunks(RowArena& other)
{
    for (auto& chunk : other.m_chunks)
        m_chunks.push_back(std::move(chunk));
    other.clear();
}

std::byte* RowArena::Reserve(std::size_t bytes)
{
    // A row larger than a quarter chunk gets a chunk of its own, and the
    // rows after it still fill the current chunk.
    if (bytes > kChunkBytes / 4) {
        m_chunks.emplace_back(new std::byte[bytes]);
        return m_chunks.back().get();
    }
    if (m_current == nullptr || kChunkBytes - m_chunkUsed < bytes) {
        // A new chunk's bytes are left uninitialised: the pages a chunk
        // never fills are never touched and cost no memory.
        m_chunks.emplace_back(new std::byte[kChunkBytes]);
        m_current = m_chunks.back().get();
        m_chunkUsed = 0;
    }
    std::byte* at = m_current + m_chunkUsed;
    m_chunkUsed += bytes;
    return at;
}

void RowArena::AddToIndex(const std::byte* block)
{
    const std::size_t slot = m_count & (kIndexBlock - 1);
    if (slot == 0)
        m_index.emplace_back(new const std::byte*[kIndexBlock]);
    m_index.back()[slot] = block;
    ++m_count;
}
