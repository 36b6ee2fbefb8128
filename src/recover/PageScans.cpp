#include "recover/PageScans.h"

#include <algorithm>

#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "platform/WideFormat.h"
#include "recover/LeafScan.h"
#include "recover/PageScanPool.h"

namespace {

// Two indexes whose entries hold values of the same affinities read any
// bytes alike, but show them in different columns: on a page that is not
// one of theirs (which comes first in `order`), neither is tried.
void KeepTellingIndexes(const std::vector<RecoverSchema>& schemas, std::vector<int>& order)
{
    const auto alike = [&](int a, int b) {
        return a != b && schemas[b].indexOf >= 0 && schemas[a].affinity == schemas[b].affinity;
    };
    const int first = order.empty() ? -1 : order.front();
    std::erase_if(order, [&](int s) {
        return schemas[s].indexOf >= 0 && s != first &&
               std::any_of(order.begin(), order.end(), [&](int other) { return alike(s, other); });
    });
}

}  // namespace

void ScanPage(RecoverContext& context, const std::uint8_t* page, const PageOrigin& origin,
              std::vector<int> order, ScanAs as)
{
    ScanPageInto(context, page, origin, std::move(order), as, context.candidates, context.parser.m_hLogWnd);
}

void ScanPageInto(const RecoverContext& context, const std::uint8_t* page, const PageOrigin& origin,
                  std::vector<int> order, ScanAs as, CCandidateSink& found, HWND log)
{
    // An index leaf holds the records of WITHOUT ROWID tables, any other
    // page those of rowid tables.
    const bool index = as.headerOffset >= 0 &&
                       (page[as.headerOffset] == kIndexLeaf || page[as.headerOffset] == kIndexInterior);
    std::erase_if(order, [&](int s) { return context.schemas[s].withoutRowid != index; });
    KeepTellingIndexes(context.schemas, order);
    if (order.empty())
        return;
    const PageBytes bytes{page, context.db.UsableSize(), context.db.textEncoding};
    CCandidateEmitter emitter(context, bytes, origin, found);
    CRegionScan scan(context.schemas, bytes, emitter);
    scan.SetSchemas(std::move(order));
    if (as.headerOffset >= 0)
        ScanLeaf(scan, bytes, static_cast<std::uint32_t>(as.headerOffset), as.withCells, origin.number, log);
    else
        scan.ScanRegion(as.from, bytes.usable, {});
}

namespace {

// A page whose cells recovery reads: a table leaf, or an index page (of a
// WITHOUT ROWID table, whose interior cells hold whole records too).
bool HoldsCells(std::uint8_t type) { return type == kTableLeaf || type == kIndexLeaf || type == kIndexInterior; }

std::vector<int> Order(const RecoverContext& context, int preferred)
{
    return SchemaOrder(context.schemas.size(), preferred);
}

// A trunk page the list reaches again, or one a tree holds, ends it.
bool TrunkSound(const RecoverContext& context, std::uint32_t trunk)
{
    if (trunk <= context.owners.PageCount() && context.owners.Owner(trunk) == CPageOwners::kNone)
        return true;
    PostLog(context.parser.m_hLogWnd, u"warning",
            WideFormat(u"recover: freelist trunk page %u is not sound, the list ends", {trunk}),
            kLogWarning);
    return false;
}

void ScanFreelistLeaf(RecoverContext& context, std::uint32_t number, std::vector<std::uint8_t>& leaf)
{
    CPageOwners& owners = context.owners;
    if (number == 0 || number > owners.PageCount() || owners.Owner(number) != CPageOwners::kNone)
        return;
    owners.SetOwner(number, CPageOwners::kFreelistPage);
    CPageSource& source = context.parser.m_pageSource;
    if (!source.ReadPage(number, leaf))
        return;
    // A page the log left as the main file has it keeps the table the
    // main file's own tree gave it.
    PageOrigin origin{number, kFreelist};
    origin.attestedSchema = source.InLog(number) ? -1 : owners.FileOwner(number);
    ScanPage(context, leaf.data(), origin, Order(context, origin.attestedSchema),
             leaf[0] == kTableLeaf ? ScanAs{0, true} : ScanAs{-1});
    // An index leaf's bytes are read for rowid tables' records as any
    // other page's, and its cells for those of WITHOUT ROWID tables.
    if (leaf[0] == kIndexLeaf || leaf[0] == kIndexInterior)
        ScanPage(context, leaf.data(), origin, Order(context, origin.attestedSchema), ScanAs{0, true});
}

}  // namespace

void ScanTables(RecoverContext& context)
{
    // The pages are scanned beside the walk, their candidates and lines
    // taken back in walk order.
    CPageScanPool pool(context, context.parser.m_nDecodeThreads);
    // The tables' trees, then their indexes' (which come after them).
    for (int s = 0; s < static_cast<int>(context.schemas.size()); ++s) {
        const RecoverSchema& schema = context.schemas[s];
        if (!schema.live && schema.indexOf < 0)
            continue;
        context.owners.WalkTree(
            context.parser.m_pageSource, context.db.UsableSize(),
            schema.indexOf >= 0 ? schema.indexRoot : schema.table->rootPage, s,
            [&](std::uint32_t number, const std::uint8_t* page, std::uint32_t h) {
                context.indexEntries.AddLiveRowids(s, page, h, context.db.UsableSize());
                pool.Scan(page, PageOrigin{number, kUnallocated}, {s}, ScanAs{static_cast<int>(h)});
            },
            schema.withoutRowid);
    }
    pool.Finish();
}

void ScanFreelist(RecoverContext& context)
{
    if (context.schemas.empty())
        return;
    const FreelistWalk& walk = context.owners.Freelist();
    std::vector<std::uint8_t> page;
    std::vector<std::uint8_t> leaf;
    for (const FreelistWalk::Trunk& trunk : walk.trunks) {
        if (g_bStop.load() || !TrunkSound(context, trunk.page))
            return;
        context.owners.SetOwner(trunk.page, CPageOwners::kFreelistPage);
        if (!context.parser.m_pageSource.ReadPage(trunk.page, page))
            return;
        const auto count = static_cast<std::uint32_t>(trunk.leaves.size());
        ScanPage(context, page.data(), PageOrigin{trunk.page, kFreelist}, Order(context, -1),
                 ScanAs{-1, false, 8 + 4 * count});
        for (std::uint32_t number : trunk.leaves)
            ScanFreelistLeaf(context, number, leaf);
    }
    // The trunk that ended the walk: one past the database or met before
    // is reported; one that could not be read just ends the list.
    if (walk.end != 0 && !g_bStop.load())
        TrunkSound(context, walk.end);
}

namespace {

// The log's frames the database shown does not use (older versions of its
// pages, frames past the last commit): read as of their transaction.
void ScanLogFrames(RecoverContext& context, std::vector<std::uint8_t>& page)
{
    const CPageSource& source = context.parser.m_pageSource;
    const std::uint32_t pageSize = context.db.pageSize;
    for (const CWalLog::Frame& frame : source.Log().Frames()) {
        if (g_bStop.load())
            break;
        if (frame.state == CWalLog::FrameState::kApplied || frame.pageNumber <= 1 ||
            source.Log().PageSize() != pageSize)
            continue;
        const int owner =
            frame.pageNumber <= context.owners.PageCount() ? context.owners.Owner(frame.pageNumber) : -1;
        if (owner == CPageOwners::kSchemaTree || !source.ReadLogAt(page.data(), pageSize, frame.pageOffset) ||
            !HoldsCells(page[0]))
            continue;
        PageOrigin origin{frame.pageNumber, kWal, frame.index};
        origin.state = context.history.StateOf(frame);
        ScanPage(context, page.data(), origin, Order(context, owner), ScanAs{0, true});
    }
}

// A page version of the main file that the database shown no longer uses,
// reported as a log source without a frame.
void ScanFileVersion(RecoverContext& context, const std::uint8_t* page, std::uint32_t number, int owner)
{
    PageOrigin origin{number, kWal};
    origin.attestedSchema = context.owners.FileOwner(number);
    origin.state = 0;
    ScanPage(context, page, origin, Order(context, owner), ScanAs{0, true});
}

// The main file's own version of each page the log replaces is older still.
void ScanReplacedPages(RecoverContext& context, std::vector<std::uint8_t>& page)
{
    CPageSource& source = context.parser.m_pageSource;
    const std::uint32_t pageSize = context.db.pageSize;
    const CPageOwners& owners = context.owners;
    for (const CWalLog::Frame& frame : source.Log().Frames()) {
        const std::uint64_t position = std::uint64_t(frame.pageNumber - 1) * pageSize;
        if (g_bStop.load() || frame.state != CWalLog::FrameState::kApplied || frame.pageNumber <= 1 ||
            frame.pageNumber > owners.PageCount() || owners.Owner(frame.pageNumber) == CPageOwners::kSchemaTree ||
            !source.ReadFileAt(page.data(), pageSize, position) || !HoldsCells(page[0]))
            continue;
        // The main file's own tree says whose page this version was.
        const int fileOwner = owners.FileOwner(frame.pageNumber);
        ScanFileVersion(context, page.data(), frame.pageNumber,
                        fileOwner >= 0 ? fileOwner : owners.Owner(frame.pageNumber));
    }
}

// A commit that shrank the database (auto_vacuum moving pages down over
// freed ones, or a VACUUM) leaves the main file longer than the database
// until a checkpoint cuts it: the pages past the end keep what the file
// last held there, rows deleted since among them.
void ScanPagesPastEnd(RecoverContext& context, std::vector<std::uint8_t>& page)
{
    CPageSource& source = context.parser.m_pageSource;
    const std::uint32_t pageSize = context.db.pageSize;
    const std::uint64_t filePages = source.FileSize() / pageSize;
    for (std::uint64_t number = context.owners.PageCount() + 1; number <= filePages && !context.schemas.empty();
         ++number) {
        if (g_bStop.load() || !source.ReadFileAt(page.data(), pageSize, (number - 1) * pageSize))
            break;
        if (!HoldsCells(page[0]))
            continue;
        const auto n = static_cast<std::uint32_t>(number);
        ScanFileVersion(context, page.data(), n, context.owners.FileOwner(n));
    }
}

}  // namespace

void ScanLog(RecoverContext& context)
{
    if (!context.parser.m_pageSource.HasOverlay())
        return;
    context.history.Index();
    std::vector<std::uint8_t> page(context.db.pageSize);
    ScanLogFrames(context, page);
    ScanReplacedPages(context, page);
    ScanPagesPastEnd(context, page);
}
