// A receiver for the rows of a table read. When a parser has one, each
// decoded row goes to it as soon as it is decoded instead of being kept in
// m_rows: a command-line reader can print a table of any size in constant
// memory.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

class CRowSink {
public:
    virtual ~CRowSink() = default;
    // `joined` holds the row's value texts back to back; `ends[i]` is where
    // value i ends in it. Both are valid only during the call.
    virtual void OnRow(std::u16string_view joined, const std::vector<std::uint32_t>& ends) = 0;
};
