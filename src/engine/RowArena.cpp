#include "RowArena.h"

void RowArena::emplace_back(std::string_view joined, const std::vector<std::uint32_t>& ends)
{
    const std::size_t bytes = RowValues::BlockBytes(ends.size(), joined.size());
    std::byte* block = Reserve(bytes);
    RowValues::WriteBlock(block, joined, ends);
    AddToIndex(block);
}

void RowArena::clear()
{
    m_chunks.clear();
    m_current = nullptr;
    m_chunkUsed = 0;
    m_index.clear();
    m_count = 0;
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
