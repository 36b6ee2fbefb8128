// A receiver for the rows of a table read. When a parser has one, each
// decoded row goes to it as soon as it is decoded instead of being kept in
// m_rows: a command-line reader can print a table of any size in constant
// memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CRowSink {
public:
    virtual ~CRowSink() = default;
    // True when the sink takes rows as UTF-8 (OnRowUtf8) rather than wide
    // text (OnRow): text stored as UTF-8 then reaches it without a detour
    // through UTF-16. The display rules are the same either way.
    virtual bool TakesUtf8() const { return false; }
    // `joined` holds the row's value texts back to back; `ends[i]` is where
    // value i ends in it. Both are valid only during the call.
    virtual void OnRow(std::u16string_view /*joined*/, const std::vector<std::uint32_t>& /*ends*/) {}
    virtual void OnRowUtf8(std::string_view /*joined*/, const std::vector<std::uint32_t>& /*ends*/) {}
};
