// salvix-cli carve: scan a raw file for JPEG pictures or MP4/MOV movies.
//
// The carver runs on the main thread, which also owns the three target
// windows, so every message is handled directly and in order: a hit is
// printed the moment it is found, and output is flushed after every chunk
// so a reader at the other end of a pipe sees hits within one chunk.
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <unistd.h>

#include "CliCommands.h"
#include "CliLogWnd.h"
#include "CliOptions.h"
#include "engine/Globals.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"
#include "records/Carver.h"

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

// Prints each hit as it arrives; the index counts hits from 1.
class CCarveResultWnd : public CMessageTarget {
public:
    explicit CCarveResultWnd(bool json) : m_json(json) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override
    {
        if (message != WM_SCAN_RESULT)
            return 0;
        const auto& result = *reinterpret_cast<const ScanResult*>(wParam);
        ++m_count;
        const std::string type = WideToUtf8(result.type);
        if (m_json) {
            const nlohmann::json line = {{"index", m_count}, {"type", type}, {"offset", result.offset}};
            std::fputs(line.dump().c_str(), stdout);
            std::fputc('\n', stdout);
        } else {
            std::fprintf(stdout, "%llu\t%s\t%lld\n", static_cast<unsigned long long>(m_count),
                         type.c_str(), static_cast<long long>(result.offset));
        }
        return 0;
    }

private:
    bool m_json;
    std::uint64_t m_count = 0;
};

}  // namespace

int RunCarve(const std::vector<std::string>& args)
{
    const CliOptions options = ParseCliOptions(args);
    if (!options.error.empty())
        return UsageError(options.error);
    if (options.positional.size() != 2)
        return UsageError("carve needs a kind (jpeg or movie) and one file");
    const std::string& kind = options.positional[0];
    const std::string& path = options.positional[1];
    if (kind != "jpeg" && kind != "movie")
        return UsageError("unknown carve kind '" + kind + "' (jpeg or movie)");

    CProgressBar bar(isatty(STDERR_FILENO) == 1);
    CCarveLogWnd log(bar);
    CCarveProgressWnd progress(bar);
    CCarveResultWnd results(options.json);
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.m_hProgressWnd = &progress;
    parser.m_hResultWnd = &results;

    g_bStop.store(0);
    CatchInterrupt();
    if (kind == "jpeg")
        CarveJpeg(parser, Widen(path));
    else
        CarveMovie(Widen(path), parser);
    std::fflush(stdout);
    bar.Erase();

    if (!progress.Started()) {
        std::fprintf(stderr, "salvix-cli: cannot open %s\n", path.c_str());
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
