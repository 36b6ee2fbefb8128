// Numbers read as moments in time. Phone databases keep times as plain
// numbers in one of a few encodings; a value is shown as a time only under
// the encoding an examiner picks, and a value is offered as a likely time
// when an encoding puts it inside the years 1990 to 2040.
//
//   encoding  unit                 epoch
//   unix      seconds              1970-01-01
//   unix-ms   milliseconds         1970-01-01
//   unix-us   microseconds         1970-01-01
//   mac       seconds              2001-01-01 (Mac absolute time, iOS)
//   webkit    microseconds         1601-01-01 (Chrome, WebKit)
//   filetime  100 ns               1601-01-01 (Windows FILETIME)
//
// Times are written in UTC as ISO 8601 with milliseconds, cut (not
// rounded) to the millisecond: 2020-01-06T00:00:00.000Z.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class TimeEncoding : std::uint8_t { kUnix, kUnixMs, kUnixUs, kMac, kWebKit, kFileTime };
constexpr int kTimeEncodingCount = 6;

// "unix", "unix-ms", "unix-us", "mac", "webkit", "filetime".
const char* TimeEncodingName(TimeEncoding encoding);
std::optional<TimeEncoding> ParseTimeEncoding(std::string_view name);

// A value's display text read as a number: an integer as the record
// decoder writes one (optional '-', digits, no leading zero), or a finite
// real with a point or an exponent. Anything else is no number.
struct DisplayNumber {
    bool integral = false;
    std::int64_t integer = 0;
    double real = 0;
};
std::optional<DisplayNumber> ParseDisplayNumber(std::string_view text);

// Milliseconds since 1970-01-01 UTC of `number` under `encoding`, when that
// moment lies in the years 1990 to 2040 (UTC); otherwise none.
std::optional<std::int64_t> DecodeTime(const DisplayNumber& number, TimeEncoding encoding);
// "YYYY-MM-DDTHH:MM:SS.mmmZ" of milliseconds since 1970-01-01 UTC.
std::string FormatIsoTime(std::int64_t unixMilliseconds);

// The display text of `text` under `encoding`: its ISO time when it is a
// number that encoding puts in range, else none (the value stays as it is).
std::optional<std::string> DecodeTimeText(std::string_view text, TimeEncoding encoding);
// Every encoding that puts `text` in range, with its reading, in the order
// of TimeEncoding.
std::vector<std::pair<TimeEncoding, std::string>> TimeReadings(std::string_view text);
