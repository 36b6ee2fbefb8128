// The records a recovery has found so far: one of each (the same record
// found again, on an older copy of its page or both in the file and in the
// log, is listed once), in the order first found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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

// Takes the candidates a scan finds, one by one in the order found.
class CCandidateSink {
public:
    virtual ~CCandidateSink() = default;
    virtual void Add(Candidate&& candidate) = 0;
};

class CCandidates : public CCandidateSink {
public:
    explicit CCandidates(const std::vector<RecoverSchema>& schemas) : m_schemas(schemas) {}

    // Lists a candidate, or keeps the copy of an equal one that has its rowid.
    void Add(Candidate&& candidate) override;
    // Drops records that equal one read from a page of the main file's own
    // tree of another table of the same columns; a line to `log` says how many.
    void MergeAttested(HWND log);

    std::vector<Candidate>& Items() { return m_candidates; }
    const std::vector<Candidate>& Items() const { return m_candidates; }

private:
    // A candidate's known values apart from its rowid column, as one key.
    std::u16string ValuesKey(const Candidate& candidate) const;
    // Hands the pieces of ValuesKey to `piece`, in order; then those of the
    // key a candidate is listed once by (its table, its values and an index
    // entry's rowid).
    template <typename Piece>
    void ValuePieces(const Candidate& candidate, Piece&& piece) const;
    template <typename Piece>
    void KeyPieces(const Candidate& candidate, Piece&& piece) const;
    std::u16string Key(const Candidate& candidate) const;
    std::uint64_t KeyHash(const Candidate& candidate) const;

    const std::vector<RecoverSchema>& m_schemas;
    std::vector<Candidate> m_candidates;
    // The hash of each candidate's key, to its index in m_candidates (the
    // keys themselves are built only to tell apart two of the same hash).
    std::unordered_multimap<std::uint64_t, std::size_t> m_seen;
};
