// The scan loop shared by every carver: reads a raw file front to back in
// 1 MiB chunks (each in blocks of kCarveBlockSize), hands the start of every whole 512-byte sector to a
// matcher, and reports progress, hits and faults through the parser's
// three windows.
//
// A matcher is a callable
//   bool (const std::uint8_t* sector, const CSectorScanContext& scan,
//         std::uint64_t position, ScanResult& result)
// that returns true for a hit after filling `result` (its offset is set by
// the loop). `sector` holds 512 readable bytes; `position` is the sector's
// offset in the file. The matcher is a template argument so that the
// rejecting test is inlined into the sector loop.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "engine/CacheLineAllocator.h"
#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "engine/SourceFile.h"
#include "engine/SqliteParser.h"
#include "platform/WideFormat.h"
#include "records/Carver.h"

// What a matcher may use beyond the sector itself: the open source (to read
// past the sector) and where to send log lines.
struct CSectorScanContext {
    CSqliteParser& parser;
    const std::u16string& path;
    const CSourceFile& file;
    std::uint64_t length;  // of the source file, taken when the scan began
};

inline std::uint32_t SaturateTo32(std::uint64_t value)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(value < kMax ? value : kMax);
}

template <typename Matcher>
class CSectorScan {
public:
    CSectorScan(CSqliteParser& parser, const std::u16string& path, Matcher match = Matcher())
        : m_parser(parser), m_path(path), m_match(match)
    {
    }

    void Run()
    {
        if (!m_file.Open(m_path)) {
            PostOpenError(m_parser.m_hLogWnd, u"error", m_path, kLogError);
            return;
        }
        const std::int64_t length = m_file.Size();
        if (length < 0) {
            PostOpenError(m_parser.m_hLogWnd, u"error", m_path, kLogError);
            return;
        }
        m_length = static_cast<std::uint64_t>(length);
        const std::uint64_t chunks = m_length >> 20;
        const std::uint32_t tail = static_cast<std::uint32_t>(m_length & (kCarveChunkSize - 1));

        std::uint32_t range = SaturateTo32(chunks);
        SendMessageW(m_parser.m_hProgressWnd, WM_SCAN_RANGE, reinterpret_cast<WPARAM>(&range), 0);
        // Not zero-filled: only bytes the read delivered are ever tested.
        m_buffer = MakeReadBlock(kCarveBlockSize);

        for (std::uint64_t i = 0; i < chunks; ++i) {
            std::uint32_t index = SaturateTo32(i);
            SendMessageW(m_parser.m_hProgressWnd, WM_SCAN_POS, reinterpret_cast<WPARAM>(&index), 0);
            if (!ReadAndTest(i * kCarveChunkSize, kCarveChunkSize))
                return;
            if (g_bStop.load(std::memory_order_relaxed) != 0)
                return;
        }
        if (tail != 0 && g_bStop.load(std::memory_order_relaxed) == 0)
            ReadAndTest(chunks * kCarveChunkSize, tail);
    }

private:
    // Reads `count` bytes at `position` and tests their whole sectors.
    // Returns false when the read failed or fell short: the file changed or
    // the device failed under the scan, and nothing after that point can be
    // trusted, so the scan ends there. The sectors a short read did deliver
    // are still tested, since they are what the file held.
    //
    // The chunk is read in blocks of kCarveBlockSize into one buffer that
    // stays in the processor's cache: the kernel's copy out of the page
    // cache and the test of each sector then touch cache, not memory, and
    // the scan keeps pace with `cat` of the same file. (Mapping the file
    // would spare the copy, but a file cut short under the scan would then
    // end the program with SIGBUS instead of a log line.)
    bool ReadAndTest(std::uint64_t position, std::uint32_t count)
    {
        std::uint32_t done = 0;
        while (done < count) {
            const std::uint32_t ask = std::min(count - done, kCarveBlockSize);
            const std::int64_t got = m_file.ReadAt(m_buffer.get(), ask, position + done);
            if (got < 0) {
                PostReadError(m_parser.m_hLogWnd, u"error", m_path, kLogError,
                              static_cast<std::int64_t>(position));
                return false;
            }
            TestSectors(position + done, static_cast<std::uint32_t>(got) / kCarveSectorSize);
            done += static_cast<std::uint32_t>(got);
            if (static_cast<std::uint32_t>(got) < ask)
                break;
        }
        if (done < count) {
            PostLog(m_parser.m_hLogWnd, u"error",
                    WideFormat(u"读取设备%s,位置%I64d失败:应读%u字节,只读到%I64d字节,文件在扫描中变短",
                               {m_path, static_cast<std::int64_t>(position), count,
                                static_cast<std::int64_t>(done)}),
                    kLogError);
            return false;
        }
        return true;
    }

    void TestSectors(std::uint64_t position, std::uint32_t sectors)
    {
        const std::uint8_t* data = m_buffer.get();
        const CSectorScanContext context{m_parser, m_path, m_file, m_length};
        for (std::uint32_t k = 0; k < sectors; ++k) {
            const std::uint64_t offset = position + std::uint64_t{k} * kCarveSectorSize;
            if (!m_match(data + std::size_t{k} * kCarveSectorSize, context, offset, m_result))
                continue;
            m_result.offset = static_cast<std::int64_t>(offset);
            SendMessageW(m_parser.m_hResultWnd, WM_SCAN_RESULT, reinterpret_cast<WPARAM>(&m_result), 0);
        }
    }

    CSqliteParser& m_parser;
    const std::u16string& m_path;
    Matcher m_match;
    CSourceFile m_file;
    std::uint64_t m_length = 0;
    ReadBlock m_buffer;  // on a cache line: the kernel copies into it at full speed
    // One record for the whole scan, overwritten for each hit; the receiver
    // copies what it keeps.
    ScanResult m_result;
};
