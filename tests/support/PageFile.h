// A database file loaded into memory for inspection and patching: tests
// find pages, read and change their big-endian fields, and write the file
// back to build damaged fixtures from a good one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CPageFile {
public:
    explicit CPageFile(const std::string& path);

    std::uint32_t PageSize() const;
    std::uint32_t PageCount() const;
    // Byte offset of page `page` (1-based) in the file.
    std::size_t PageStart(std::uint32_t page) const;
    // Offset of the b-tree page header within the page: 100 on page 1.
    static std::uint32_t HeaderOffset(std::uint32_t page) { return page == 1 ? 100 : 0; }

    std::uint8_t PageType(std::uint32_t page) const;
    std::uint16_t CellCount(std::uint32_t page) const;
    // Offset within the page of cell k, from the cell pointer array.
    std::uint16_t CellOffset(std::uint32_t page, std::uint32_t k) const;
    // Left child of interior cell k, and the right-most child.
    std::uint32_t ChildOf(std::uint32_t page, std::uint32_t k) const;
    std::uint32_t RightChild(std::uint32_t page) const;

    std::uint8_t Get8(std::size_t at) const { return m_bytes.at(at); }
    std::uint16_t Get16(std::size_t at) const;
    std::uint32_t Get32(std::size_t at) const;
    void Put8(std::size_t at, std::uint8_t value) { m_bytes.at(at) = value; }
    void Put16(std::size_t at, std::uint16_t value);
    void Put32(std::size_t at, std::uint32_t value);

    std::vector<std::uint8_t>& Bytes() { return m_bytes; }
    void Save(const std::string& path) const;

private:
    std::vector<std::uint8_t> m_bytes;
};

// Copies a file byte for byte.
void CopyFile(const std::string& from, const std::string& to);
