#include "support/PageFile.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

CPageFile::CPageFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    m_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t CPageFile::PageSize() const
{
    const std::uint32_t size = Get16(16);
    return size == 1 ? 65536 : size;
}

std::uint32_t CPageFile::PageCount() const
{
    return static_cast<std::uint32_t>(m_bytes.size() / PageSize());
}

std::size_t CPageFile::PageStart(std::uint32_t page) const
{
    return static_cast<std::size_t>(page - 1) * PageSize();
}

std::uint8_t CPageFile::PageType(std::uint32_t page) const
{
    return Get8(PageStart(page) + HeaderOffset(page));
}

std::uint16_t CPageFile::CellCount(std::uint32_t page) const
{
    return Get16(PageStart(page) + HeaderOffset(page) + 3);
}

std::uint16_t CPageFile::CellOffset(std::uint32_t page, std::uint32_t k) const
{
    const std::uint8_t type = PageType(page);
    const std::uint32_t array = HeaderOffset(page) + ((type == 2 || type == 5) ? 12 : 8);
    return Get16(PageStart(page) + array + 2 * k);
}

std::uint32_t CPageFile::ChildOf(std::uint32_t page, std::uint32_t k) const
{
    return Get32(PageStart(page) + CellOffset(page, k));
}

std::uint32_t CPageFile::RightChild(std::uint32_t page) const
{
    return Get32(PageStart(page) + HeaderOffset(page) + 8);
}

std::uint16_t CPageFile::Get16(std::size_t at) const
{
    return static_cast<std::uint16_t>((m_bytes.at(at) << 8) | m_bytes.at(at + 1));
}

std::uint32_t CPageFile::Get32(std::size_t at) const
{
    return (static_cast<std::uint32_t>(Get16(at)) << 16) | Get16(at + 2);
}

void CPageFile::Put16(std::size_t at, std::uint16_t value)
{
    m_bytes.at(at) = static_cast<std::uint8_t>(value >> 8);
    m_bytes.at(at + 1) = static_cast<std::uint8_t>(value);
}

void CPageFile::Put32(std::size_t at, std::uint32_t value)
{
    Put16(at, static_cast<std::uint16_t>(value >> 16));
    Put16(at + 2, static_cast<std::uint16_t>(value));
}

void CPageFile::Save(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(m_bytes.data()),
              static_cast<std::streamsize>(m_bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void CopyFile(const std::string& from, const std::string& to)
{
    CPageFile(from).Save(to);
}
