// Deleted entries of ordinary indexes as partial rows of their tables. An
// entry holds the indexed columns' values and the rowid of a table row;
// where the row's own bytes are gone the entry is what is left of it. It
// says nothing new, and is left out, where its rowid is a live row's or
// where the table's own pages gave back a deleted row of that rowid (or,
// without a rowid, of those values).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/WindowMessage.h"
#include "recover/Candidates.h"
#include "recover/SchemaFit.h"

class CIndexEntries {
public:
    // Sizes the rowid sets for `schemas`, index schemas among them.
    void Reset(const std::vector<RecoverSchema>& schemas);
    // Whether the live table at schema index `s` has an index read.
    bool Indexed(int s) const { return s >= 0 && static_cast<std::size_t>(s) < m_indexed.size() && m_indexed[s]; }
    // Keeps the rowids of the cells of a live table leaf page of table `s`.
    void AddLiveRowids(int s, const std::uint8_t* page, std::uint32_t h, std::uint32_t usable);

    // Drops the index entries that say nothing new (see above) and joins
    // those of one rowid read from several indexes; a line to `log` says
    // how many are left.
    void Sift(std::vector<Candidate>& candidates, HWND log);

private:
    // Whether a candidate read from table pages holds the row an index
    // entry points at.
    bool RecoveredFromTable(const std::vector<Candidate>& candidates, const Candidate& entry) const;
    // Joins `entry` into `kept` (an entry of the same rowid) when no value
    // of one differs from the other's.
    static bool Join(Candidate& kept, const Candidate& entry);
    // A value of column `column` of a candidate of table `schema`, as a key.
    static std::u16string ValueKey(int schema, std::size_t column, const std::u16string& value);

    std::vector<bool> m_indexed;
    std::vector<int> m_alias;  // by schema index
    // By schema index; sorted once the scans are done (8 bytes a live row).
    std::vector<std::vector<std::int64_t>> m_liveRowids;
    // Per schema, the rowids of table-page candidates; those without one
    // by each of their values (ValueKey).
    std::vector<std::unordered_set<std::int64_t>> m_tableRowids;
    std::unordered_multimap<std::u16string, std::size_t> m_withoutRowid;
};
