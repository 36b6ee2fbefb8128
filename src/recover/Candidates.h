// The records a recovery has found so far: one of each (the same record
// found again, on an older copy of its page or both in the file and in the
// log, is listed once), in the order first found.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/WindowMessage.h"
#include "recover/RecoveredRecord.h"
#include "recover/SchemaFit.h"

struct Candidate {
    RecoveredRecord record;
    int schema = -1;
    bool live = false;
    bool rowidLive = false;  // a live row of its table has its rowid
    bool attested = false;   // read from a page the main file's own tree of its table holds
    // Read from an entry of one of the table's indexes: the indexed columns
    // and the rowid only.
    bool fromIndex = false;
};

class CCandidates {
public:
    explicit CCandidates(const std::vector<RecoverSchema>& schemas) : m_schemas(schemas) {}

    // Lists a candidate, or keeps the copy of an equal one that has its rowid.
    void Add(Candidate&& candidate);
    // Drops records that equal one read from a page of the main file's own
    // tree of another table of the same columns; a line to `log` says how many.
    void MergeAttested(HWND log);

    std::vector<Candidate>& Items() { return m_candidates; }
    const std::vector<Candidate>& Items() const { return m_candidates; }

private:
    // A candidate's known values apart from its rowid column, as one key.
    std::u16string ValuesKey(const Candidate& candidate) const;

    const std::vector<RecoverSchema>& m_schemas;
    std::vector<Candidate> m_candidates;
    // Table and values of each candidate, to its index in m_candidates.
    std::unordered_map<std::u16string, std::size_t> m_seen;
};
