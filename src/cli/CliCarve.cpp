// salvix-cli carve: scan a raw file for JPEG pictures, MP4/MOV movies or
// SQLite databases; --extract DIR copies each database found into DIR.
//
// The carver runs on the main thread, which also owns the three target
// windows, so every message is handled directly and in order: a hit is
// printed the moment it is found, and output is flushed after every chunk
// so a reader at the other end of a pipe sees hits within one chunk.
#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <unistd.h>

#include "CliCommands.h"
#include "CliLogWnd.h"
#include "CliOptions.h"
#include "engine/Globals.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "records/CarvedFileWriter.h"
#include "records/Carver.h"
#include "records/CarverSqlite.h"

namespace {

// Exit status of a scan ended by Ctrl+C, as a shell reports a SIGINT.
constexpr int kExitInterrupted = 130;

extern "C" void OnInterrupt(int)
{
    // A lock-free atomic store is safe in a signal handler. SA_RESETHAND
    // makes a second Ctrl+C end the program at once.
    g_bStop.store(1);
}

void CatchInterrupt()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: a write to a full pipe resumes rather than failing, so no
    // printed hit is lost to the interruption.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

// A bar on standard error: chunks done of the total and the rate so far.
// Redrawn at most ten times a second, so it costs nothing next to the scan.
class CProgressBar {
public:
    explicit CProgressBar(bool enabled) : m_enabled(enabled) {}

    void SetRange(std::uint32_t chunks)
    {
        m_total = chunks;
        m_start = Clock::now();
    }
    void SetPosition(std::uint32_t index)
    {
        m_done = index;
        if (!m_enabled)
            return;
        const auto now = Clock::now();
        if (m_shown && now - m_lastDraw < std::chrono::milliseconds(100))
            return;
        m_lastDraw = now;
        Draw(now);
    }
    // Removes the bar so a log line or the final message starts a clean line.
    void Erase()
    {
        if (m_shown)
            std::fputs("\r\033[K", stderr);
        m_shown = false;
    }

private:
    using Clock = std::chrono::steady_clock;

    void Draw(Clock::time_point now)
    {
        constexpr int kWidth = 30;
        const double fraction = m_total == 0 ? 1.0 : static_cast<double>(m_done) / m_total;
        const int filled = static_cast<int>(fraction * kWidth);
        const double seconds = std::chrono::duration<double>(now - m_start).count();
        const double rate = seconds > 0 ? m_done * (kCarveChunkSize / 1e6) / seconds : 0.0;
        std::fprintf(stderr, "\r[%.*s%*s] %u/%u chunks %5.1f%% %.1f MB/s\033[K",
                     filled, "##############################", kWidth - filled, "", m_done,
                     m_total, fraction * 100.0, rate);
        std::fflush(stderr);
        m_shown = true;
    }

    bool m_enabled;
    bool m_shown = false;
    std::uint32_t m_total = 0;
    std::uint32_t m_done = 0;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_lastDraw{};
};

// Log lines go to standard error as for every command, with the bar
// cleared first.
class CCarveLogWnd : public CCliLogWnd {
public:
    explicit CCarveLogWnd(CProgressBar& bar) : m_bar(bar) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        m_bar.Erase();
        return CCliLogWnd::WindowProc(message, wParam, lParam);
    }

private:
    CProgressBar& m_bar;
};

class CCarveProgressWnd : public CMessageTarget {
public:
    explicit CCarveProgressWnd(CProgressBar& bar) : m_bar(bar) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override
    {
        const std::uint32_t value = *reinterpret_cast<const std::uint32_t*>(wParam);
        if (message == WM_SCAN_RANGE) {
            m_started = true;
            m_bar.SetRange(value);
        } else if (message == WM_SCAN_POS) {
            // Hits of the previous chunk leave now, not at the end.
            std::fflush(stdout);
            m_bar.SetPosition(value);
        }
        return 0;
    }
    // The carver sends the range only once the file is open.
    bool Started() const { return m_started; }

private:
    CProgressBar& m_bar;
    bool m_started = false;
};

// Prints each hit as it arrives; the index counts hits from 1. Databases
// also carry their page size and length, and are copied out when a writer
// is given.
class CCarveResultWnd : public CMessageTarget {
public:
    CCarveResultWnd(bool json, const CCarvedFileWriter* writer, HWND hLogWnd)
        : m_json(json), m_writer(writer), m_hLogWnd(hLogWnd)
    {
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override
    {
        if (message != WM_SCAN_RESULT)
            return 0;
        const auto& result = *reinterpret_cast<const ScanResult*>(wParam);
        ++m_count;
        const std::string type = WideToUtf8(result.type);
        const bool database = result.type == u"sqlite";
        if (m_json) {
            nlohmann::json line = {{"index", m_count}, {"type", type}, {"offset", result.offset}};
            if (database) {
                line["pageSize"] = result.pageSize;
                line["size"] = result.size;
            }
            std::fputs(line.dump().c_str(), stdout);
            std::fputc('\n', stdout);
        } else {
            std::fprintf(stdout, "%llu\t%s\t%lld", static_cast<unsigned long long>(m_count),
                         type.c_str(), static_cast<long long>(result.offset));
            if (database)
                std::fprintf(stdout, "\t%u\t%lld", result.pageSize, static_cast<long long>(result.size));
            std::fputc('\n', stdout);
        }
        if (database && m_writer != nullptr && m_writer->Write(result.offset, result.size, m_hLogWnd).empty())
            ++m_failedWrites;
        return 0;
    }
    std::uint64_t FailedWrites() const { return m_failedWrites; }

private:
    bool m_json;
    const CCarvedFileWriter* m_writer;
    HWND m_hLogWnd;
    std::uint64_t m_count = 0;
    std::uint64_t m_failedWrites = 0;
};

// Takes "--extract DIR" out of `args`; false when DIR is missing.
bool TakeExtractOption(std::vector<std::string>& args, std::string& dir)
{
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == "--")
            return true;
        if (*it != "--extract")
            continue;
        if (std::next(it) == args.end())
            return false;
        dir = *std::next(it);
        args.erase(it, it + 2);
        return true;
    }
    return true;
}

}  // namespace

int RunCarve(const std::vector<std::string>& arguments)
{
    std::vector<std::string> args = arguments;
    std::string extractDir;
    if (!TakeExtractOption(args, extractDir))
        return UsageError("--extract needs a folder");
    const CliOptions options = ParseCliOptions(args);
    if (!options.error.empty())
        return UsageError(options.error);
    if (options.positional.size() != 2)
        return UsageError("carve needs a kind (jpeg, movie or sqlite) and one file");
    const std::string& kind = options.positional[0];
    const std::string& path = options.positional[1];
    if (kind != "jpeg" && kind != "movie" && kind != "sqlite")
        return UsageError("unknown carve kind '" + kind + "' (jpeg, movie or sqlite)");
    if (!extractDir.empty() && kind != "sqlite")
        return UsageError("--extract works with carve sqlite only");

    std::unique_ptr<CCarvedFileWriter> writer;
    if (!extractDir.empty()) {
        writer = std::make_unique<CCarvedFileWriter>(Widen(path), Widen(extractDir));
        const std::u16string problem = writer->CheckTarget();
        if (!problem.empty()) {
            std::fprintf(stderr, "salvix-cli: %s\n", WideToUtf8(problem).c_str());
            return 1;
        }
    }

    CProgressBar bar(isatty(STDERR_FILENO) == 1);
    CCarveLogWnd log(bar);
    CCarveProgressWnd progress(bar);
    CCarveResultWnd results(options.json, writer.get(), &log);
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.m_hProgressWnd = &progress;
    parser.m_hResultWnd = &results;

    g_bStop.store(0);
    CatchInterrupt();
    if (kind == "jpeg")
        CarveJpeg(parser, Widen(path));
    else if (kind == "movie")
        CarveMovie(Widen(path), parser);
    else
        CarveSqlite(parser, Widen(path));
    std::fflush(stdout);
    bar.Erase();

    if (!progress.Started()) {
        std::fprintf(stderr, "salvix-cli: cannot open %s\n", path.c_str());
        return 1;
    }
    if (results.FailedWrites() != 0) {
        std::fprintf(stderr, "salvix-cli: %llu found database(s) could not be written out\n",
                     static_cast<unsigned long long>(results.FailedWrites()));
        return 1;
    }
    if (log.ErrorCount() != 0) {
        std::fprintf(stderr, "salvix-cli: the scan of %s ended early on a read failure\n",
                     path.c_str());
        return 1;
    }
    if (g_bStop.load() != 0) {
        std::fprintf(stderr, "salvix-cli: scan of %s stopped by interrupt\n", path.c_str());
        return kExitInterrupted;
    }
    return 0;
}
