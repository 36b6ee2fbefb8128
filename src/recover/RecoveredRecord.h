// A record recovered from outside the live tables, and the receiver of
// the records a recovery reports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The values of RecoveredRecord::source, one object each (compared by
// address).
inline constexpr char kFreeblock[] = "freeblock";
inline constexpr char kUnallocated[] = "unallocated";
inline constexpr char kFreelist[] = "freelist";
inline constexpr char kWal[] = "wal";
inline constexpr char kJournal[] = "journal";

struct RecoveredRecord {
    std::optional<std::u16string> table;   // no value when no table fits
    const char* source = "";               // "freeblock", "unallocated", "freelist", "wal", "journal"
    std::uint32_t page = 0;
    // Where the cell or freeblock begins: in the page, or for source
    // "journal" in the journal file (which may pass 4 GiB).
    std::uint64_t offset = 0;
    std::uint32_t end = 0;                 // first byte after the record's bytes in the page
    std::optional<std::uint32_t> frame;    // log frame, for source "wal"
    std::optional<std::int64_t> rowid;
    // Display texts in the table's column order; no value where the bytes
    // were lost (a stored NULL is the empty text, as in a table read).
    std::vector<std::optional<std::u16string>> values;
    // A newer cell or freeblock header cut the record: the values that lay
    // wholly before the cut are shown, the rest have no value.
    bool partial = false;
};

class CRecoverSink {
public:
    virtual ~CRecoverSink() = default;
    virtual void OnRecord(const RecoveredRecord& record) = 0;
};
