// Turns a record found on a page into a candidate: its values as display
// texts, those that went on to overflow pages read from the chain while it
// survives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recover/RecordShapes.h"
#include "recover/RecoverContext.h"
#include "recover/RegionScan.h"

// The pages of the database state a page version other than the one shown
// belongs to, for the overflow chains of its cells: false for a page that
// state does not prove part of the chain.
class CChainPages {
public:
    virtual ~CChainPages() = default;
    virtual bool ReadChainPage(std::uint32_t number, std::vector<std::uint8_t>& page) = 0;
};

// Where a page version was read from, for the records found on it.
struct PageOrigin {
    std::uint32_t number = 0;
    const char* source = kUnallocated;  // kUnallocated, kFreelist, kWal or kJournal
    std::optional<std::uint32_t> frame{};
    // The table whose own tree in the main file holds this page, or -1.
    int attestedSchema = -1;
    // The state of the database this page version belongs to, when it is
    // not the one shown: 0 the main file's own, past the log; n the log's
    // as of frame n. The overflow chain of one of its cells is read from
    // that state, which holds it whole.
    std::optional<std::uint32_t> state{};
    // Added to a record's offset in the page: where the page version lies
    // in its file, for a journal's page images.
    std::uint64_t base = 0;
    // The chain pages of a cell of a journal's page image, or null.
    CChainPages* chainPages = nullptr;
};

class CCandidateEmitter : public CRecordFound {
public:
    // The candidates found go to `found`.
    CCandidateEmitter(const RecoverContext& context, PageBytes bytes, PageOrigin origin, CCandidateSink& found)
        : m_context(context), m_bytes(bytes), m_origin(origin), m_found(found)
    {
    }

    void OnFound(int schema, const RecordParse& parse, std::uint32_t offset, bool inFreeblock,
                 bool atCell) override;

private:
    // The bytes of an overflow chain whose first page number sits at
    // `pointerAt`, up to `needed` bytes, into m_chain; a live cell's chain
    // (`ownChain`) from its own page version's state.
    void ReadChain(std::uint32_t pointerAt, std::uint64_t needed, bool ownChain);
    bool ReadChainPage(std::uint32_t number, bool ownChain);
    // The record's table, place and where it was read.
    void PlaceRecord(RecoveredRecord& record, const RecoverSchema& schema, const RecordParse& parse,
                     std::uint32_t offset, bool inFreeblock) const;
    // The overflow chain of a record that went on to overflow pages, into m_chain.
    void ReadOverflow(const RecordParse& parse, bool atCell);
    void OnIndexEntry(int s, const RecordParse& parse, std::uint32_t offset, bool inFreeblock, bool atCell);
    void FillValues(const RecoverSchema& schema, const RecordParse& parse,
                    std::vector<std::optional<std::u16string>>& values);
    // Display text of a value reaching past the local part into m_chain;
    // false when the bytes are not there or its text is not sound.
    bool SpilledValue(const RecordParse& parse, std::uint64_t at, std::uint64_t t, std::u16string& text);

    const RecoverContext& m_context;
    PageBytes m_bytes;
    PageOrigin m_origin;
    CCandidateSink& m_found;
    std::vector<std::uint8_t> m_chain, m_chainPage, m_value;  // overflow chain scratch
};
