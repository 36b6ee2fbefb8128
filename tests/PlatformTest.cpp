// The platform layer: formatted log texts, text decoding of damaged bytes,
// and synchronous messages between threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "platform/IntegerFormat.h"
#include "platform/MessageLoop.h"
#include "platform/RealFormat.h"
#include "platform/TextConvert.h"
#include "platform/Utf8Blocks.h"
#include "platform/WideFormat.h"
#include "platform/WindowMessage.h"

namespace {

std::u16string FromUtf8Bytes(std::initializer_list<std::uint8_t> bytes)
{
    std::vector<std::uint8_t> data(bytes);
    return Utf8ToWide(data.data(), data.size());
}

TEST(WideFormat, WindowsDirectivesPrintTheArgumentsDigits)
{
    EXPECT_EQ(WideFormat(u"节点%I32u-偏移%I16u分析有溢出", {4294967295u, 65535u}),
              u"节点4294967295-偏移65535分析有溢出");
    EXPECT_EQ(WideFormat(u"读取设备%s,位置%I64d失败", {u"/a b.db", -5LL}),
              u"读取设备/a b.db,位置-5失败");
    EXPECT_EQ(WideFormat(u"%I64u %d%%", {18446744073709551615ULL, -1}),
              u"18446744073709551615 -1%");
    // A directive without an argument stays as written.
    EXPECT_EQ(WideFormat(u"%s and %s", {u"one"}), u"one and %s");
}

TEST(TextConvert, MalformedUtf8BecomesReplacementCharacters)
{
    EXPECT_EQ(FromUtf8Bytes({0xE4, 0xBD, 0xA0, 0xF0, 0x9F, 0x98, 0x80}), u"你\U0001F600");
    EXPECT_EQ(FromUtf8Bytes({0xC0, 0xAF}), u"\uFFFD\uFFFD");            // overlong
    EXPECT_EQ(FromUtf8Bytes({0xED, 0xA0, 0x80}), u"\uFFFD\uFFFD\uFFFD");  // surrogate
    EXPECT_EQ(FromUtf8Bytes({0xE4, 0xBD}), u"\uFFFD");                  // cut at the end
    EXPECT_EQ(FromUtf8Bytes({0xE4, 0x41}), u"\uFFFDA");                 // cut by ASCII
    EXPECT_EQ(FromUtf8Bytes({0xF4, 0x90, 0x80, 0x80}), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(TextConvert, Utf16BothOrdersAndBrokenPairs)
{
    const std::uint8_t le[] = {0x60, 0x4F, 0x3D, 0xD8, 0x00, 0xDE};
    const std::uint8_t be[] = {0x4F, 0x60, 0xD8, 0x3D, 0xDE, 0x00};
    std::u16string a, b;
    AppendUtf16AsWide(a, le, sizeof le, false);
    AppendUtf16AsWide(b, be, sizeof be, true);
    EXPECT_EQ(a, u"你\U0001F600");
    EXPECT_EQ(b, a);

    const std::uint8_t lone[] = {0x00, 0xDC, 0x41, 0x00, 0x3D, 0xD8, 0x42};
    std::u16string c;
    AppendUtf16AsWide(c, lone, sizeof lone, false);
    EXPECT_EQ(c, u"\uFFFDA\uFFFD\uFFFD");  // lone low, 'A', lone high, odd byte
    EXPECT_EQ(WideToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz");
}

// AppendUtf8Checked must read exactly as Utf8ToWide then WideToUtf8 of the
// bytes before the first NUL, with the escapes applied afterwards, wherever
// a sequence falls against the blocks it checks at once.
std::string CheckedAsWideRoundTrip(const std::string& bytes, const AsciiEscapes* escapes)
{
    const std::string text = WideToUtf8(Utf8ToWide(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), std::min(bytes.find('\0'), bytes.size())));
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        out += escapes && b < 128 && (*escapes)[b] ? (*escapes)[b] : std::string(1, c);
    }
    return out;
}

TEST(TextConvert, CheckedUtf8ReadsAsTheWideRoundTripAtEveryBlockOffset)
{
    const std::string pieces[] = {
        "\xE4\xBD\xA0", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF",
        "\xC2\x80",                                                    // well-formed edges
        "\xF4\x90\x80\x80", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xC1\xBF", "\xF0\x8F\xBF\xBF",  // out of range
        "\x80", "\xFF", "\xE4\xBD", "\xF0\x9F\x98",                      // stray or cut
        std::string(1, '\0') + "after", "\t", "\"", "\\",
        "\x7F\x80", "\x1F\x7F", "\xC2\x7F", "\xDF\xC0\x80", "\r\n\\\"",     // around 0x7F/0x80, runs of escapes
        "\t\xE4\xBD", "\xFF\"", "\xE4\xBD\xA0\x01\xF0\x9F\x98"};        // an escape and a fault in one block
    const std::string fillers[] = {"", "ASCII words here", "\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C",
                                   "\xF0\x9F\x98\x80\xF0\x9F\x91\x8D\xF0\x9F\x8E\x89",
                                   "\xE0\xA0\x80\xED\x9F\xBF\xF4\x8F\xBF\xBF\xC2\x80"};
    AsciiEscapes escapes{};
    escapes['\t'] = "\\t";
    escapes['"'] = "\\\"";
    escapes['\\'] = "\\\\";
    escapes[1] = "\\u0001";  // the longest replacement
    for (const std::string& piece : pieces)
        for (const std::string& filler : fillers)
            for (std::size_t lead = 0; lead < 2 * kUtf8BlockBytes + 4; ++lead)
                for (const bool atEnd : {false, true}) {
                    const std::string bytes = std::string(lead, 'a') + filler + filler + piece +
                                              (atEnd ? "" : filler + std::string(lead, 'z'));
                    for (const AsciiEscapes* e : std::initializer_list<const AsciiEscapes*>{nullptr, &escapes}) {
                        std::string out = "<";
                        AppendUtf8Checked(out, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                          bytes.size(), e);
                        ASSERT_EQ(out, "<" + CheckedAsWideRoundTrip(bytes, e))
                            << "lead " << lead << ", filler " << filler << ", piece " << piece;
                    }
                }
}

// The fast fixed-point path must write exactly what std::to_chars writes,
// and leave it the forms it would write with an exponent.
TEST(RealFormat, ShortestRealIsToCharsText)
{
    std::vector<double> values = {0.0, -0.0, 3.0, -7.25, 0.1, 0.30000000000000004, 1e-3, 1e-4,
                                  1.5e-8, 100000.0, 123000.0, 1e6, 999999999999999.0, 1e15,
                                  123456789012345680.0, 5e-324, 1.7976931348623157e308};
    for (int exponent = -12; exponent <= 17; ++exponent) {
        const double power = std::pow(10.0, exponent);
        for (const double v : {power, std::nextafter(power, 0.0), std::nextafter(power, 1e300),
                               -1.25 * power, 98765.4321 * power, 0.1 + power})
            values.push_back(v);
    }
    for (int i = 1; i < 20000; ++i)  // few decimals, as amounts and scores are stored
        values.push_back((i % 2 ? -1 : 1) * std::round(i * 7919.0 / std::pow(10.0, i % 9)) /
                         std::pow(10.0, i % 7));
    for (const double v : values) {
        char expected[64], got[kShortestRealMax];
        const std::string_view want(expected, std::to_chars(expected, expected + 64, v).ptr - expected);
        EXPECT_EQ(std::string_view(got, WriteShortestReal(got, v) - got), want);
    }
}

// Integers of every length, both signs and both ends of the range, as
// std::to_chars writes them.
TEST(IntegerFormat, IntegerIsToCharsText)
{
    std::vector<std::int64_t> values = {0, INT64_MIN, INT64_MAX, INT64_MIN + 1};
    std::uint64_t power = 1;  // 10^(digits - 1); unsigned, as the last step passes INT64_MAX
    for (int digits = 1; digits <= 19; ++digits, power *= 10)
        for (const std::uint64_t v : {power - 1, power, power + 1, 7 * power + 3})
            values.insert(values.end(), {static_cast<std::int64_t>(v), -static_cast<std::int64_t>(v)});
    for (const std::int64_t v : values) {
        char expected[24], got[kIntegerMax];
        const std::string_view want(expected, std::to_chars(expected, expected + 24, v).ptr - expected);
        EXPECT_EQ(std::string_view(got, WriteInteger(got, v) - got), want);
    }
}

// A target that records the thread and order of the messages it handles.
class CRecordingTarget : public CMessageTarget {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override
    {
        threads.push_back(std::this_thread::get_id());
        values.push_back(*reinterpret_cast<const int*>(wParam));
        return static_cast<LRESULT>(message) + 1;
    }
    std::vector<std::thread::id> threads;
    std::vector<int> values;
};

TEST(WindowMessage, SameThreadSendIsADirectCall)
{
    CRecordingTarget target;
    int value = 7;
    EXPECT_EQ(SendMessageW(&target, 41, reinterpret_cast<WPARAM>(&value), 0), 42);
    ASSERT_EQ(target.values.size(), 1u);
    EXPECT_EQ(target.threads[0], std::this_thread::get_id());
    EXPECT_EQ(SendMessageW(nullptr, 1, 0, 0), 0);
}

TEST(WindowMessage, WorkerSendRunsOnTheOwnerThreadInOrderWhileTheWorkerWaits)
{
    CRecordingTarget target;  // owned by this thread
    CMessageLoop& loop = CMessageLoop::ForThread(std::this_thread::get_id());
    std::atomic<int> handledBeforeReturn{-1};
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            // The record lives on the worker's stack: valid only because the
            // send waits until the owner has handled it.
            int value = i;
            SendMessageW(&target, 1, reinterpret_cast<WPARAM>(&value), 0);
            if (i == 199)
                handledBeforeReturn = static_cast<int>(target.values.size());
        }
        loop.Quit();
    });
    loop.Run();
    worker.join();
    ASSERT_EQ(target.values.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(target.values[i], i);
        EXPECT_EQ(target.threads[i], std::this_thread::get_id());
    }
    EXPECT_EQ(handledBeforeReturn.load(), 200);
}

}  // namespace
