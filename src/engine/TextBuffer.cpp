#include "TextBuffer.h"

#include <algorithm>
#include <cstring>

void CTextBuffer::Append(std::string_view text)
{
    char* at = Room(text.size());
    std::memcpy(at, text.data(), text.size());
    m_size += text.size();
}

void CTextBuffer::Grow(std::size_t count)
{
    const std::size_t capacity = std::max({m_size + count, 2 * m_capacity, std::size_t{4096}});
    std::unique_ptr<char[]> bytes(new char[capacity]);
    if (m_size != 0)
        std::memcpy(bytes.get(), m_bytes.get(), m_size);
    m_bytes = std::move(bytes);
    m_capacity = capacity;
}
