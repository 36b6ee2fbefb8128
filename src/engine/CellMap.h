// The cell map of one leaf page: every offset where a live cell (kind 0,
// from the cell pointer array) or a freeblock (kind 1) begins, in ascending
// order, each offset once. When an offset is recorded twice, the first
// record stays. Each cell's payload is bounded by the entry after it.
//
// Kept as a vector that is sorted once after filling: a leaf page holds a
// few dozen cells, and a table read builds one map per leaf page.
#pragma once

#include <cstdint>
#include <vector>

class CellMap {
public:
    struct Entry {
        std::uint16_t offset;
        std::uint8_t kind;  // 0 live cell, 1 freeblock
    };
    using const_iterator = std::vector<Entry>::const_iterator;

    void Clear() { m_entries.clear(); }
    // Records an offset; call Finish once all are recorded.
    void Insert(std::uint16_t offset, std::uint8_t kind) { m_entries.push_back({offset, kind}); }
    // Sorts by offset and drops every later record of an offset.
    void Finish();

    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }
    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }

private:
    std::vector<Entry> m_entries;
};
