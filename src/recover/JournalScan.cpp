#include "recover/JournalScan.h"

#include <unordered_map>
#include <vector>

#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "platform/WideFormat.h"
#include "recover/PageScans.h"

namespace {

// The images of one journal segment (the records summed from one nonce)
// by page number: the pages as they were before that transaction. A page
// the transaction did not change is read only where it is a freelist leaf
// of the database shown, as any deleted record's overflow page is.
class CSegmentPages : public CChainPages {
public:
    CSegmentPages(RecoverContext& context, const CPageOffsets& images) : m_context(context), m_images(images) {}

    bool ReadChainPage(std::uint32_t number, std::vector<std::uint8_t>& page) override
    {
        CPageSource& source = m_context.parser.m_pageSource;
        const std::uint32_t pageSize = m_context.db.pageSize;
        page.resize(pageSize);
        if (const std::uint64_t image = m_images.Find(number); image != 0)
            return source.ReadJournalAt(page.data(), pageSize, image);
        return m_context.owners.IsFreelistLeaf(number) && source.ReadPage(number, page);
    }

private:
    RecoverContext& m_context;
    const CPageOffsets& m_images;
};

// Each segment's images by page number, keyed by the segment's nonce.
std::unordered_map<std::uint32_t, CPageOffsets> SegmentImages(const CRollbackJournal& journal)
{
    std::unordered_map<std::uint32_t, CPageOffsets> segments;
    for (const CRollbackJournal::Record& record : journal.Records())
        segments[record.nonce].Add(record.pageNumber, record.imageOffset);
    for (auto& [nonce, images] : segments)
        images.Finish();
    return segments;
}

}  // namespace

void ScanJournal(RecoverContext& context)
{
    CPageSource& source = context.parser.m_pageSource;
    const CRollbackJournal& journal = source.Journal();
    const std::uint32_t pageSize = context.db.pageSize;
    if (journal.Records().empty() || context.schemas.empty())
        return;
    if (journal.PageSize() != pageSize) {
        PostLog(context.parser.m_hLogWnd, u"warning",
                WideFormat(u"recover: the rollback journal's page size %u differs from the database's "
                           u"%u; its page images are not read",
                           {journal.PageSize(), pageSize}),
                kLogWarning);
        return;
    }
    // The images a rollback laid over the file are pages of the database
    // shown, scanned with its trees.
    const CPageOffsets shown = source.HasJournalOverlay() ? journal.RollbackPages() : CPageOffsets();
    const auto segments = SegmentImages(journal);
    std::vector<std::uint8_t> page(pageSize);
    std::uint32_t scanned = 0;
    for (const CRollbackJournal::Record& record : journal.Records()) {
        if (g_bStop.load())
            break;
        const std::uint32_t number = record.pageNumber;
        if (number <= 1 || shown.Find(number) == record.imageOffset ||
            !source.ReadJournalAt(page.data(), pageSize, record.imageOffset) ||
            (page[0] != kTableLeaf && page[0] != kIndexLeaf && page[0] != kIndexInterior))
            continue;
        const int owner = number <= context.owners.PageCount() ? context.owners.Owner(number) : CPageOwners::kNone;
        if (owner == CPageOwners::kSchemaTree)
            continue;
        CSegmentPages chain(context, segments.at(record.nonce));
        PageOrigin origin{number, kJournal};
        origin.base = record.imageOffset;
        origin.chainPages = &chain;
        ScanPage(context, page.data(), origin, SchemaOrder(context.schemas.size(), owner), ScanAs{0, true});
        ++scanned;
    }
    PostLog(context.parser.m_hLogWnd, u"Recover",
            WideFormat(u"recover: %u page images of the rollback journal read", {scanned}),
            kLogInfo);
}
