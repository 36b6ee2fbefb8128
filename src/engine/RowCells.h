// Where each row of a table read was read: the page and the offset of its
// cell in that page. The rows of one page come one after another in walk
// order, so each page is kept once per run of its rows: two bytes a row
// and a few a page, where a pair per row took eight bytes a row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class RowCells {
public:
    struct Cell {
        std::uint32_t page = 0;
        std::uint16_t offset = 0;
    };

    std::size_t size() const { return m_offsets.size(); }
    bool empty() const { return m_offsets.empty(); }
    void clear();
    void push_back(Cell cell);
    // Gives `cell` to every row from size() up to `count`.
    void resize(std::size_t count, Cell cell);
    void append(const std::vector<Cell>& cells);
    Cell operator[](std::size_t row) const;
    // The first row of `page` at or after `from` whose cell is at `offset`,
    // or size() when there is none.
    std::size_t Find(std::uint32_t page, std::uint16_t offset, std::size_t from = 0) const;

private:
    struct Run {
        std::size_t first;  // the run's first row
        std::uint32_t page;
    };
    std::vector<std::uint16_t> m_offsets;
    std::vector<Run> m_runs;
};
