// The code paths the fuzz targets drive, shared with the regression test so
// that every kept crash input is replayed exactly as the fuzzer ran it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/WindowMessage.h"

// A log window that keeps no lines, only counts them by kind.
class CCountingLog : public CMessageTarget {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    std::size_t lines = 0;
    std::size_t errors = 0;
    std::size_t scanResults = 0;
};

struct HarnessCounts {
    std::size_t lines = 0;      // log lines of every kind
    std::size_t errors = 0;     // log lines of type 3
    std::size_t tables = 0;     // tables found by the open
    std::size_t rows = 0;       // rows decoded over every table
    std::size_t textUnits = 0;  // UTF-16 units of every decoded value
    std::size_t scanResults = 0;
};

// Writes `size` bytes to this process's scratch file (created on first use,
// rewritten on every call) and returns its path.
const std::string& WriteScratchFile(const std::uint8_t* data, std::size_t size);

// Opens the database at `path`, reads every table it lists, and empties
// g_dbList again. Messages go to `window` when one is given (its counts are
// then not kept), else to a counting log.
HarnessCounts ExamineDatabase(const std::string& path, CMessageTarget* window = nullptr);

// Splits `size` bytes into a database and its write-ahead log (the first
// four bytes, big-endian, give the database's share; the log gets the rest),
// writes them as the scratch file and its "-wal", opens the database with the
// log applied and recovers every record outside its live tables. `rows`
// counts the records reported. With `journal` the rest is the database's
// rollback journal ("-journal"), rolled back instead, and every table is read
// too.
HarnessCounts RecoverFromInput(const std::uint8_t* data, std::size_t size,
                               CMessageTarget* window = nullptr, bool journal = false);

// Runs the JPEG, movie and SQLite carvers over the file at `path`, messages
// as above; `scanResults` counts the hits.
void CarveFile(const std::string& path, HarnessCounts& counts, CMessageTarget* window = nullptr);

// Parses `size` bytes as a GIF: the logical screen, the graphic blocks and
// every frame extracted from them; `rows` counts the frames. Returns whether
// the bytes load as a GIF at all.
bool ParseGifData(const std::uint8_t* data, std::size_t size, HarnessCounts& counts);
