#include "RowValues.h"

#include <cstring>

#include "platform/TextConvert.h"

// Block layout: uint32 count, count × uint32 end offsets, then the texts.
namespace {
std::size_t HeaderBytes(std::size_t count) { return (1 + count) * sizeof(std::uint32_t); }
}  // namespace

RowValues::RowValues(std::string_view joined, const std::vector<std::uint32_t>& ends)
{
    const std::size_t count = ends.size();
    const std::size_t bytes = HeaderBytes(count) + joined.size();
    m_block.reset(new std::byte[bytes]);
    const auto count32 = static_cast<std::uint32_t>(count);
    std::memcpy(m_block.get(), &count32, sizeof count32);
    if (count != 0)
        std::memcpy(m_block.get() + sizeof count32, ends.data(), count * sizeof(std::uint32_t));
    if (!joined.empty())
        std::memcpy(m_block.get() + HeaderBytes(count), joined.data(),
                    joined.size());
}

RowValues::RowValues(const RowValues& other)
{
    if (other.m_block) {
        const std::size_t bytes = other.BlockBytes();
        m_block.reset(new std::byte[bytes]);
        std::memcpy(m_block.get(), other.m_block.get(), bytes);
    }
}

RowValues& RowValues::operator=(const RowValues& other)
{
    if (this != &other)
        *this = RowValues(other);
    return *this;
}

const std::uint32_t* RowValues::Header() const
{
    return reinterpret_cast<const std::uint32_t*>(m_block.get());
}

const char* RowValues::Text() const
{
    return reinterpret_cast<const char*>(m_block.get() + HeaderBytes(size()));
}

std::size_t RowValues::size() const
{
    if (!m_block) return 0;
    std::uint32_t count;
    std::memcpy(&count, m_block.get(), sizeof count);
    return count;
}

std::size_t RowValues::BlockBytes() const
{
    const std::size_t count = size();
    const std::size_t textBytes = count == 0 ? 0 : Header()[count];
    return HeaderBytes(count) + textBytes;
}

std::string_view RowValues::operator[](std::size_t index) const
{
    const std::uint32_t* ends = Header() + 1;
    const std::uint32_t begin = index == 0 ? 0 : ends[index - 1];
    return std::string_view(Text() + begin, ends[index] - begin);
}

std::u16string RowValues::Wide(std::size_t index) const
{
    const std::string_view text = (*this)[index];
    return Utf8ToWide(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::vector<std::u16string> RowValues::ToVector() const
{
    std::vector<std::u16string> values;
    values.reserve(size());
    for (std::size_t i = 0; i < size(); ++i)
        values.push_back(Wide(i));
    return values;
}
