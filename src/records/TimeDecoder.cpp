#include "TimeDecoder.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kNames[kTimeEncodingCount] = {"unix", "unix-ms", "unix-us",
                                                    "mac",  "webkit",  "filetime"};

// The range offered: 1990-01-01T00:00:00Z up to 2041-01-01T00:00:00Z.
constexpr std::int64_t kFirstMs = 631152000LL * 1000;
constexpr std::int64_t kEndMs = 2240611200LL * 1000;

// Seconds from an encoding's epoch to 1970-01-01.
constexpr std::int64_t kMacEpochSeconds = 978307200;      // 2001-01-01 is after
constexpr std::int64_t kWindowsEpochSeconds = 11644473600;  // 1601-01-01 is before

struct Scale {
    std::int64_t unitsPerMs;  // 0: milliseconds are units × msPerUnit
    std::int64_t msPerUnit;
    std::int64_t epochMs;     // the epoch's own time since 1970, in ms
};

Scale ScaleOf(TimeEncoding encoding)
{
    switch (encoding) {
    case TimeEncoding::kUnix: return {0, 1000, 0};
    case TimeEncoding::kUnixMs: return {1, 1, 0};
    case TimeEncoding::kUnixUs: return {1000, 1, 0};
    case TimeEncoding::kMac: return {0, 1000, kMacEpochSeconds * 1000};
    case TimeEncoding::kWebKit: return {1000, 1, -kWindowsEpochSeconds * 1000};
    case TimeEncoding::kFileTime: break;
    }
    return {10000, 1, -kWindowsEpochSeconds * 1000};
}

// Integer division rounding towards minus infinity: a time before an
// epoch is cut to the earlier millisecond, as after it.
std::int64_t FloorDivide(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

const char* TimeEncodingName(TimeEncoding encoding)
{
    return kNames[static_cast<int>(encoding)];
}

std::optional<TimeEncoding> ParseTimeEncoding(std::string_view name)
{
    for (int i = 0; i < kTimeEncodingCount; ++i)
        if (name == kNames[i])
            return static_cast<TimeEncoding>(i);
    return std::nullopt;
}

std::optional<DisplayNumber> ParseDisplayNumber(std::string_view text)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    const std::string_view body = text.substr(!text.empty() && text[0] == '-' ? 1 : 0);
    DisplayNumber number;
    if (!body.empty() && body.find_first_not_of("0123456789") == std::string_view::npos) {
        if (body.size() > 1 && body[0] == '0')
            return std::nullopt;  // the decoder never writes a leading zero
        const auto [ptr, ec] = std::from_chars(begin, end, number.integer);
        if (ec != std::errc() || ptr != end)
            return std::nullopt;
        number.integral = true;
        number.real = static_cast<double>(number.integer);
        return number;
    }
    if (text.find_first_of(".eE") == std::string_view::npos)
        return std::nullopt;
    const auto [ptr, ec] = std::from_chars(begin, end, number.real);
    if (ec != std::errc() || ptr != end || !std::isfinite(number.real))
        return std::nullopt;
    return number;
}

std::optional<std::int64_t> DecodeTime(const DisplayNumber& number, TimeEncoding encoding)
{
    const Scale scale = ScaleOf(encoding);
    // The range in the encoding's own units, so nothing below can overflow.
    const auto toUnits = [&](std::int64_t ms) {
        const std::int64_t fromEpoch = ms - scale.epochMs;
        return scale.unitsPerMs != 0 ? static_cast<double>(fromEpoch) * scale.unitsPerMs
                                     : static_cast<double>(fromEpoch) / scale.msPerUnit;
    };
    if (!(number.real >= toUnits(kFirstMs) - 1 && number.real <= toUnits(kEndMs) + 1))
        return std::nullopt;
    std::int64_t ms = 0;
    if (number.integral) {
        ms = scale.unitsPerMs != 0 ? FloorDivide(number.integer, scale.unitsPerMs)
                                   : number.integer * scale.msPerUnit;
    } else {
        const double units = scale.unitsPerMs != 0 ? number.real / scale.unitsPerMs
                                                   : number.real * scale.msPerUnit;
        // Cut to the millisecond; a tolerance far below a millisecond keeps
        // 0.792 s, which binary reals hold as 0.79199..., from reading as
        // 791 ms.
        ms = static_cast<std::int64_t>(std::floor(units + std::fabs(units) * 1e-13));
    }
    ms += scale.epochMs;
    if (ms < kFirstMs || ms >= kEndMs)
        return std::nullopt;
    return ms;
}

std::string FormatIsoTime(std::int64_t unixMilliseconds)
{
    using namespace std::chrono;
    const std::int64_t dayMs = 86400000;
    const std::int64_t days = FloorDivide(unixMilliseconds, dayMs);
    const std::int64_t inDay = unixMilliseconds - days * dayMs;
    const year_month_day date{sys_days{std::chrono::days{days}}};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(inDay / 3600000),
                  static_cast<int>(inDay / 60000 % 60), static_cast<int>(inDay / 1000 % 60),
                  static_cast<int>(inDay % 1000));
    return text;
}

std::optional<std::string> DecodeTimeText(std::string_view text, TimeEncoding encoding)
{
    const auto number = ParseDisplayNumber(text);
    if (!number)
        return std::nullopt;
    const auto ms = DecodeTime(*number, encoding);
    if (!ms)
        return std::nullopt;
    return FormatIsoTime(*ms);
}

std::vector<std::pair<TimeEncoding, std::string>> TimeReadings(std::string_view text)
{
    std::vector<std::pair<TimeEncoding, std::string>> readings;
    const auto number = ParseDisplayNumber(text);
    if (!number)
        return readings;
    for (int i = 0; i < kTimeEncodingCount; ++i) {
        const auto encoding = static_cast<TimeEncoding>(i);
        if (const auto ms = DecodeTime(*number, encoding))
            readings.emplace_back(encoding, FormatIsoTime(*ms));
    }
    return readings;
}
