// Writes rows of display texts as CSV or as JSON Lines, for spreadsheet
// programs and scripts.
//
// CSV follows RFC 4180: fields separated by commas, records ended by CR LF,
// a field that holds a comma, a quote, CR or LF enclosed in quotes with its
// quotes doubled. The file starts with the UTF-8 byte-order mark so that
// spreadsheet programs read Chinese text as UTF-8. The first record holds
// the headings.
//
// A text a spreadsheet program would run as a formula (one that is not a
// number and begins with =, +, -, @, a tab or a carriage return) is written
// to CSV with a leading apostrophe, unless raw values are asked for.
//
// JSON Lines: one object per row, headings as keys, values as strings; no
// byte-order mark.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class CRowExport {
public:
    enum class Format { kCsv, kJsonLines };

    // Writes to `out`, which the caller opened (binary) and closes.
    CRowExport(Format format, std::FILE* out, std::vector<std::u16string> headings);

    // Writes CSV values exactly as they are, formulas included.
    void SetRawCsv(bool raw) { m_rawCsv = raw; }

    // Writes the byte-order mark and the heading record (CSV only).
    bool Begin();
    // Writes one row; missing values are empty, extra ones are dropped.
    bool WriteRow(const std::vector<std::u16string>& values);
    // The same for a row of UTF-8 values held back to back in `joined`,
    // value i ending at ends[i] (as a row sink receives them).
    bool WriteRowUtf8(std::string_view joined, const std::vector<std::uint32_t>& ends);
    // Flushes; false when any write failed.
    bool Finish();

    // `guardFormula`: a formula-like text gets its leading apostrophe.
    static void AppendCsvField(std::string& out, std::string_view utf8, bool guardFormula = true);
    static void AppendJsonString(std::string& out, std::string_view utf8);

private:
    // Appends value `i` of the row, `value` its UTF-8 text.
    void AppendValue(std::size_t i, std::string_view value);
    bool EndRow();
    bool Put(const std::string& text);

    Format m_format;
    std::FILE* m_out;
    std::vector<std::u16string> m_headings;
    std::vector<std::string> m_headingTexts;  // UTF-8, as JSON keys
    std::string m_line;                       // reused for every row
    std::string m_value;                      // one value converted to UTF-8
    bool m_ok = true;
    bool m_rawCsv = false;
};
