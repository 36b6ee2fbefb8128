#include "SqlTokenizer.h"

#include "platform/TextConvert.h"

namespace {

bool IsSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

bool IsWordChar(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'$' || c >= 0x80;
}

char16_t ClosingQuote(char16_t open)
{
    switch (open) {
    case u'\'': case u'"': case u'`': return open;
    case u'[': return u']';
    default: return 0;
    }
}

}  // namespace

std::vector<SqlToken> CSqlTokenizer::Tokenize(std::u16string_view sql)
{
    std::vector<SqlToken> tokens;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        const char16_t c = sql[i];
        if (IsSpace(c)) {
            ++i;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const std::size_t close = sql.find(u"*/", i + 2);
            i = close == std::u16string_view::npos ? n : close + 2;
        } else if (const char16_t close = ClosingQuote(c)) {
            std::size_t j = i + 1;
            for (; j < n; ++j) {
                if (sql[j] != close)
                    continue;
                // A doubled quote inside stands for one (not inside [...]).
                if (close != u']' && j + 1 < n && sql[j + 1] == close) {
                    ++j;
                    continue;
                }
                break;
            }
            const std::size_t end = j < n ? j + 1 : n;
            tokens.push_back({SqlToken::kQuoted, i, end});
            i = end;
        } else if (IsWordChar(c)) {
            std::size_t j = i;
            while (j < n && IsWordChar(sql[j]))
                ++j;
            tokens.push_back({SqlToken::kWord, i, j});
            i = j;
        } else {
            tokens.push_back({SqlToken::kPunct, i, i + 1});
            ++i;
        }
    }
    return tokens;
}

std::u16string CSqlTokenizer::Dequote(std::u16string_view text)
{
    if (text.empty())
        return std::u16string();
    const char16_t close = ClosingQuote(text[0]);
    if (close == 0)
        return std::u16string(text);
    std::u16string out;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == close) {
            if (close != u']' && i + 1 < text.size() && text[i + 1] == close) {
                out.push_back(close);
                ++i;
                continue;
            }
            break;
        }
        out.push_back(text[i]);
    }
    return out;
}

bool CSqlTokenizer::IsKeyword(std::u16string_view word, std::u16string_view keyword)
{
    return EqualsIgnoringAsciiCase(word, keyword);
}
