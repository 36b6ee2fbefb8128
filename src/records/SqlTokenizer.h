// Splits SQL text into the tokens the schema reader needs: words, quoted
// names or strings, and single punctuation characters. White space and
// comments separate tokens and are dropped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct SqlToken {
    enum Kind { kWord, kQuoted, kPunct };
    Kind kind;
    std::size_t begin;  // offsets into the tokenized text
    std::size_t end;
};

class CSqlTokenizer {
public:
    static std::vector<SqlToken> Tokenize(std::u16string_view sql);
    // The text of a quoted token without its quotes ('x', "x", `x`, [x]),
    // doubled quote characters made single; other text unchanged.
    static std::u16string Dequote(std::u16string_view text);
    // Case-insensitive comparison of a word with an ASCII keyword.
    static bool IsKeyword(std::u16string_view word, std::u16string_view keyword);
};
