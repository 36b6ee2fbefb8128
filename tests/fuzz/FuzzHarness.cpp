#include "FuzzHarness.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "recover/RecordRecoverer.h"

#include "records/Carver.h"
#include "records/CarverSqlite.h"
#include "shell/GifParser.h"

LRESULT CCountingLog::WindowProc(UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_LOG_MESSAGE) {
        ++lines;
        if (reinterpret_cast<const LogMessage*>(wParam)->type == kLogError)
            ++errors;
    }
    if (message == WM_SCAN_RESULT)
        ++scanResults;
    return 0;
}

// Writes `size` bytes to `path`, replacing what it held.
static void WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror(path.c_str());
        std::abort();
    }
    for (std::size_t done = 0; done < size;) {
        const ssize_t wrote = ::write(fd, data + done, size - done);
        if (wrote <= 0) {
            std::perror(path.c_str());
            std::abort();
        }
        done += static_cast<std::size_t>(wrote);
    }
    ::close(fd);
}

const std::string& WriteScratchFile(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/salvix-fuzz-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            std::perror("mkstemp");
            std::abort();
        }
        ::close(fd);
        return pattern;
    }();
    // The scratch file goes when the process ends normally.
    static const struct Remover {
        ~Remover() { ::unlink(path.c_str()); }
    } remover;
    WriteWhole(path, data, size);
    return path;
}

HarnessCounts ExamineDatabase(const std::string& path, CMessageTarget* window)
{
    CCountingLog log;
    HarnessCounts counts;
    {
        CSqliteParser parser;
        parser.m_hLogWnd = window ? window : &log;
        parser.OpenDatabase(Widen(path));
        if (!g_dbList.empty()) {
            parser.m_pDb = &g_dbList.back();
            counts.tables = parser.m_pDb->tables.size();
            for (TableInfo& table : parser.m_pDb->tables) {
                parser.m_pTable = &table;
                parser.ReadTable();
                counts.rows += parser.m_rows.size();
                for (const RowValues& row : parser.m_rows)
                    for (std::size_t i = 0; i < row.size(); ++i)
                        counts.textUnits += row[i].size();
            }
        }
    }
    g_dbList.clear();
    counts.lines = log.lines;
    counts.errors = log.errors;
    return counts;
}

namespace {

class CCountingRecords : public CRecoverSink {
public:
    void OnRecord(const RecoveredRecord& record) override
    {
        ++records;
        for (const auto& value : record.values)
            units += value ? value->size() : 0;
    }
    std::size_t records = 0;
    std::size_t units = 0;
};

}  // namespace

HarnessCounts RecoverFromInput(const std::uint8_t* data, std::size_t size, CMessageTarget* window,
                               bool journal)
{
    std::size_t split = size;
    if (size >= 4) {
        split = ((std::size_t(data[0]) << 24) | (data[1] << 16) | (data[2] << 8) | data[3]) % (size - 3);
        data += 4;
        size -= 4;
    }
    const std::string& path = WriteScratchFile(data, split);
    const std::string log = path + (journal ? "-journal" : "-wal");
    static const struct Remover {
        std::string path;
        ~Remover()
        {
            ::unlink((path + "-wal").c_str());
            ::unlink((path + "-journal").c_str());
        }
    } remover{path};
    WriteWhole(log, data + split, size - split);

    CCountingLog lines;
    CCountingRecords records;
    HarnessCounts counts;
    {
        CSqliteParser parser;
        parser.m_hLogWnd = window ? window : &lines;
        parser.m_bUseWal = !journal;
        parser.m_bUseJournal = journal;
        parser.OpenDatabase(Widen(path));
        if (!g_dbList.empty() && g_dbList.back().pageSize != 0) {
            counts.tables = g_dbList.back().tables.size();
            // The rolled-back pages are read by the table walk as well.
            for (TableInfo& table : g_dbList.back().tables) {
                if (!journal)
                    break;
                parser.m_pDb = &g_dbList.back();
                parser.m_pTable = &table;
                parser.ReadTable();
                parser.m_rows.clear();
            }
            CRecordRecoverer recoverer(parser, g_dbList.back());
            recoverer.Run(u"", records);
        }
    }
    g_dbList.clear();
    counts.rows = records.records;
    counts.textUnits = records.units;
    counts.lines = lines.lines;
    counts.errors = lines.errors;
    return counts;
}

void CarveFile(const std::string& path, HarnessCounts& counts, CMessageTarget* window)
{
    CCountingLog log;
    CSqliteParser parser;
    CMessageTarget* target = window ? window : &log;
    parser.m_hLogWnd = target;
    parser.m_hProgressWnd = target;
    parser.m_hResultWnd = target;
    const std::u16string wide = Widen(path);
    CarveJpeg(parser, wide);
    CarveMovie(wide, parser);
    CarveSqlite(parser, wide);
    counts.lines = log.lines;
    counts.errors = log.errors;
    counts.scanResults = log.scanResults;
}

bool ParseGifData(const std::uint8_t* data, std::size_t size, HarnessCounts& counts)
{
    CGifParser parser;
    if (!parser.Load(data, size))
        return false;
    const int blocks = parser.CountGraphicBlocks();
    const std::vector<GifFrame> frames = parser.ExtractFrames();
    // Every frame is a standalone GIF: header, its blocks, the trailer.
    for (const GifFrame& frame : frames) {
        if (frame.gif.size() < 13 + parser.GlobalColorTableSize() + 1 || frame.gif.back() != 0x3B)
            __builtin_trap();
        CGifParser::FrameWaitMs(frame.delay);
    }
    // Extraction walks the same blocks as counting, so it never finds more.
    if (frames.size() > static_cast<std::size_t>(blocks))
        __builtin_trap();
    counts.rows = frames.size();
    return true;
}
