// printf-style formatting of wide text with the directives the log texts
// use: %s (wide text), %d, %u, %I16u, %I32u, %I64u, %I64d and %%.
// The argument's own value decides the digits; the directive only says
// where it goes, so a 64-bit position prints in full under %I64d.
#pragma once

#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

// Appends the text of a number: decimal for integers, the shortest text
// that reads back to the same value for floating point.
template <typename Number>
void AppendNumber(std::u16string& out, Number value)
{
    char digits[64];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    for (const char* p = digits; p != result.ptr; ++p)
        out.push_back(static_cast<char16_t>(*p));
}

class WideArg {
public:
    WideArg(std::u16string_view text) : m_value(text) {}
    WideArg(const std::u16string& text) : m_value(std::u16string_view(text)) {}
    WideArg(const char16_t* text) : m_value(std::u16string_view(text)) {}
    WideArg(int v) : m_value(static_cast<std::int64_t>(v)) {}
    WideArg(long v) : m_value(static_cast<std::int64_t>(v)) {}
    WideArg(long long v) : m_value(static_cast<std::int64_t>(v)) {}
    WideArg(unsigned v) : m_value(static_cast<std::uint64_t>(v)) {}
    WideArg(unsigned long v) : m_value(static_cast<std::uint64_t>(v)) {}
    WideArg(unsigned long long v) : m_value(static_cast<std::uint64_t>(v)) {}
    WideArg(unsigned short v) : m_value(static_cast<std::uint64_t>(v)) {}

    void AppendTo(std::u16string& out) const;

private:
    std::variant<std::u16string_view, std::int64_t, std::uint64_t> m_value;
};

std::u16string WideFormat(std::u16string_view format, std::initializer_list<WideArg> args);
