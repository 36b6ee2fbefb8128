#include "RowCells.h"

#include <algorithm>

void RowCells::clear()
{
    m_offsets.clear();
    m_runs.clear();
    m_offsets.shrink_to_fit();
    m_runs.shrink_to_fit();
}

void RowCells::push_back(Cell cell)
{
    if (m_runs.empty() || m_runs.back().page != cell.page)
        m_runs.push_back({m_offsets.size(), cell.page});
    m_offsets.push_back(cell.offset);
}

void RowCells::resize(std::size_t count, Cell cell)
{
    while (size() < count)
        push_back(cell);
}

void RowCells::append(const std::vector<Cell>& cells)
{
    for (const Cell& cell : cells)
        push_back(cell);
}

RowCells::Cell RowCells::operator[](std::size_t row) const
{
    // The last run that starts at or before the row.
    const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), row,
                                        [](std::size_t r, const Run& run) { return r < run.first; });
    if (row >= m_offsets.size() || after == m_runs.begin())
        return {};
    return {std::prev(after)->page, m_offsets[row]};
}

std::size_t RowCells::Find(std::uint32_t page, std::uint16_t offset, std::size_t from) const
{
    for (std::size_t i = 0; i < m_runs.size(); ++i) {
        if (m_runs[i].page != page)
            continue;
        const std::size_t end = i + 1 < m_runs.size() ? m_runs[i + 1].first : m_offsets.size();
        for (std::size_t row = std::max(m_runs[i].first, from); row < end; ++row)
            if (m_offsets[row] == offset)
                return row;
    }
    return m_offsets.size();
}
