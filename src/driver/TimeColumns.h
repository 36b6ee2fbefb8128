// The columns of a record list shown as times: for each column the
// encoding an examiner chose (none: the stored value as it is), the text a
// value then shows, and the readings offered for any number that falls in
// the years 1990 to 2040 under one or more encodings.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/TimeDecoder.h"

class CTimeColumns {
public:
    void Clear()
    {
        m_encodings.clear();
        m_any = false;
    }
    void Set(std::size_t column, std::optional<TimeEncoding> encoding);
    std::optional<TimeEncoding> Get(std::size_t column) const
    {
        return column < m_encodings.size() ? m_encodings[column] : std::nullopt;
    }
    bool Any() const { return m_any; }

    // What `text` of `column` shows: its time under the column's encoding,
    // or none (the value stays as it is: no encoding chosen, no number, or
    // a moment outside the range).
    std::optional<std::string> Shown(std::size_t column, std::string_view text) const;

    // One line per encoding that puts `text` in range: "caption: time";
    // empty when none does.
    static std::u16string Readings(std::string_view text);
    // The encoding's caption in the menus and readings.
    static std::u16string_view Caption(TimeEncoding encoding);

private:
    std::vector<std::optional<TimeEncoding>> m_encodings;
    bool m_any = false;
};
