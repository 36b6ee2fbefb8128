#include "RowValues.h"

#include <cstring>

#include "platform/TextConvert.h"
#include "records/HeldValue.h"

// Block layout: one byte width w, uint32 count, count × w-byte end offsets
// (native byte order), then the texts. Loads go through memcpy: blocks are
// packed without alignment.
namespace {
constexpr std::size_t kCountAt = 1;
constexpr std::size_t kEndsAt = kCountAt + sizeof(std::uint32_t);

std::size_t EndWidth(std::size_t textBytes)
{
    return textBytes <= 0xFF ? 1 : (textBytes <= 0xFFFF ? 2 : 4);
}

template <typename T>
void PutEnds(std::byte* to, const std::vector<std::uint32_t>& ends)
{
    for (std::size_t i = 0; i < ends.size(); ++i) {
        const T end = static_cast<T>(ends[i]);
        std::memcpy(to + i * sizeof end, &end, sizeof end);
    }
}

template <typename T>
std::uint32_t LoadEnd(const std::byte* ends, std::size_t index)
{
    T end;
    std::memcpy(&end, ends + index * sizeof end, sizeof end);
    return end;
}
}  // namespace

std::size_t RowValues::BlockBytes(std::size_t count, std::size_t textBytes)
{
    return TextOffset(count, textBytes) + textBytes;
}

std::size_t RowValues::TextOffset(std::size_t count, std::size_t textBytes)
{
    return kEndsAt + count * EndWidth(textBytes);
}

std::size_t RowValues::MaxTextOffset(std::size_t count)
{
    return kEndsAt + count * sizeof(std::uint32_t);
}

void RowValues::WriteBlock(std::byte* to, std::string_view joined,
                           const std::vector<std::uint32_t>& ends)
{
    WriteHead(to, joined.size(), ends);
    if (!joined.empty())
        std::memcpy(to + TextOffset(ends.size(), joined.size()), joined.data(), joined.size());
}

void RowValues::WriteHead(std::byte* to, std::size_t textBytes,
                          const std::vector<std::uint32_t>& ends)
{
    const std::size_t width = EndWidth(textBytes);
    to[0] = static_cast<std::byte>(width);
    const auto count32 = static_cast<std::uint32_t>(ends.size());
    std::memcpy(to + kCountAt, &count32, sizeof count32);
    if (width == 1)
        PutEnds<std::uint8_t>(to + kEndsAt, ends);
    else if (width == 2)
        PutEnds<std::uint16_t>(to + kEndsAt, ends);
    else
        PutEnds<std::uint32_t>(to + kEndsAt, ends);
}

std::size_t RowValues::size() const
{
    if (m_block == nullptr) return 0;
    std::uint32_t count;
    std::memcpy(&count, m_block + kCountAt, sizeof count);
    return count;
}

std::uint32_t RowValues::End(std::size_t index) const
{
    const std::byte* ends = m_block + kEndsAt;
    switch (Width()) {
    case 1: return LoadEnd<std::uint8_t>(ends, index);
    case 2: return LoadEnd<std::uint16_t>(ends, index);
    default: return LoadEnd<std::uint32_t>(ends, index);
    }
}

const char* RowValues::Texts() const
{
    return reinterpret_cast<const char*>(m_block + kEndsAt + size() * Width());
}

std::string_view RowValues::operator[](std::size_t index) const
{
    const std::uint32_t begin = index == 0 ? 0 : End(index - 1);
    return std::string_view(Texts() + begin, End(index) - begin);
}

std::string_view RowValues::Text(std::size_t index, TextRoom& room) const
{
    return HeldValueText((*this)[index], room);
}

std::u16string RowValues::Wide(std::size_t index) const
{
    TextRoom room;
    const std::string_view text = Text(index, room);
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

std::string_view RowValues::Joined() const
{
    const std::size_t count = size();
    return count == 0 ? std::string_view() : std::string_view(Texts(), End(count - 1));
}

void RowValues::Ends(std::vector<std::uint32_t>& ends) const
{
    ends.clear();
    for (std::size_t i = 0; i < size(); ++i)
        ends.push_back(End(i));
}
