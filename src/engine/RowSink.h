// A receiver for the rows of a table read. When a parser has one, each
// decoded row goes to it as soon as it is decoded instead of being kept in
// m_rows: a command-line reader can print a table of any size in constant
// memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/TextBuffer.h"
#include "platform/TextConvert.h"

class CRowSink {
public:
    virtual ~CRowSink() = default;
    // `joined` holds the row's value texts back to back; `ends[i]` is where
    // value i ends in it. Both are valid only during the call.
    virtual void OnRow(std::u16string_view /*joined*/, const std::vector<std::uint32_t>& /*ends*/) {}

    // True when the sink takes rows as UTF-8 through OnRowUtf8 (same
    // display rules, no detour through UTF-16), laid out like OnRow's.
    virtual bool TakesUtf8() const { return false; }
    virtual void OnRowUtf8(std::string_view /*joined*/, const std::vector<std::uint32_t>& /*ends*/) {}

    // A sink that prints UTF-8 returns its row layout here. The decoder then
    // writes each row, laid out and escaped, straight onto the end of
    // Utf8Buffer() and calls OnUtf8Row() after it: text stored as UTF-8
    // reaches the output in one pass, without a detour through UTF-16. The
    // display rules are the same as for OnRow.
    struct Utf8Layout {
        // Written before the first value, between two values, after the last.
        std::string_view rowBegin, between, rowEnd;
        AsciiEscapes escapes{};  // applied to text values
    };
    virtual const Utf8Layout* Utf8RowLayout() const { return nullptr; }
    virtual CTextBuffer& Utf8Buffer() { return m_utf8; }
    virtual void OnUtf8Row() {}
    // True when the sink (one with a row layout) may be handed the laid-out
    // text of many rows at once, with one OnUtf8Row() after them: the rows
    // are then laid out on several threads beside the walk.
    virtual bool TakesRowBatches() const { return false; }

    // The display values of one record, each decoded when asked for, as
    // OnRowUtf8 would get them (empty past the row's last value).
    class CRowValues {
    public:
        virtual std::string_view Utf8Value(std::size_t column) = 0;

    protected:
        ~CRowValues() = default;
    };
    // A sink that has no use for most rows may turn them down before they
    // are decoded: when FiltersRows(), each record of a table whose values
    // lie in column order is first shown to RowWanted, and a row it turns
    // down is neither decoded nor handed over. It is called on the threads
    // that decode, beside each other, and may only read.
    bool FiltersRows() const { return m_filtersRows; }
    virtual bool RowWanted(CRowValues& /*values*/) const { return true; }

protected:
    bool m_filtersRows = false;

private:
    CTextBuffer m_utf8;
};
