#include "WideFormat.h"


namespace {

// Length of the directive that starts after a '%' at format[i], or 0 when
// the text there is not one of ours.
std::size_t DirectiveLength(std::u16string_view format, std::size_t i)
{
    static constexpr std::u16string_view kDirectives[] = {u"I16u", u"I32u", u"I64u", u"I64d",
                                                          u"s",    u"d",    u"u"};
    for (std::u16string_view d : kDirectives)
        if (format.substr(i, d.size()) == d)
            return d.size();
    return 0;
}

}  // namespace

void WideArg::AppendTo(std::u16string& out) const
{
    if (const auto* text = std::get_if<std::u16string_view>(&m_value))
        out.append(*text);
    else if (const auto* s = std::get_if<std::int64_t>(&m_value))
        AppendNumber(out, *s);
    else
        AppendNumber(out, std::get<std::uint64_t>(m_value));
}

std::u16string WideFormat(std::u16string_view format, std::initializer_list<WideArg> args)
{
    std::u16string out;
    out.reserve(format.size() + 32);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != u'%' || i + 1 >= format.size()) {
            out.push_back(format[i]);
            continue;
        }
        if (format[i + 1] == u'%') {
            out.push_back(u'%');
            ++i;
            continue;
        }
        const std::size_t length = DirectiveLength(format, i + 1);
        if (length == 0 || next == args.end()) {
            out.push_back(format[i]);
            continue;
        }
        next->AppendTo(out);
        ++next;
        i += length;
    }
    return out;
}
