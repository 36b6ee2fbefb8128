// A block of text that is written through a pointer: Room(n) makes n bytes
// writable after the text held, Commit(end) takes what was written there.
// The decoder claims the room a value can need once and then writes the
// value with no check per byte or per piece, as a string's appends would
// make. The room is not zero-filled.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

class CTextBuffer {
public:
    // At least `count` writable bytes after the text held.
    char* Room(std::size_t count)
    {
        if (count > m_capacity - m_size || m_bytes == nullptr)
            Grow(count);
        return m_bytes.get() + m_size;
    }
    // The text now ends at `end`, a place in the room last handed out.
    void Commit(const char* end) { m_size = static_cast<std::size_t>(end - m_bytes.get()); }
    void Append(std::string_view text);
    // Drops the text from `size` on.
    void Truncate(std::size_t size) { m_size = size < m_size ? size : m_size; }
    void Clear() { m_size = 0; }

    std::size_t size() const { return m_size; }
    const char* data() const { return m_bytes.get(); }
    std::string_view View() const { return {m_bytes.get(), m_size}; }

private:
    void Grow(std::size_t count);

    std::unique_ptr<char[]> m_bytes;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};
