// salvix-cli page: the regions of one page and its bytes.
#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "CliCommands.h"
#include "CliLogWnd.h"
#include "CliOptions.h"
#include "engine/LogPost.h"
#include "records/PageRoles.h"

namespace {

void PrintJson(std::uint32_t pageNumber, const CPageMap& map)
{
    using Json = nlohmann::ordered_json;
    Json regions = Json::array();
    for (const PageRegion& region : map.Regions()) {
        Json item = Json::object();
        item["kind"] = CPageMap::RegionName(region.kind);
        item["start"] = region.start;
        item["end"] = region.end;
        item["cell"] = region.cell >= 0 ? Json(region.cell) : Json();
        regions.push_back(std::move(item));
    }
    Json out = Json::object();
    out["page"] = pageNumber;
    out["type"] = CPageMap::KindName(map.Kind());
    out["regions"] = std::move(regions);
    std::printf("%s\n", out.dump().c_str());
}

// One region a line (start, end, kind, cell index or "-", tab-separated,
// offsets in decimal), then the bytes: offset in hexadecimal, 16 bytes as
// hex, the same as text (printable ASCII, '.' for the rest).
void PrintText(std::uint32_t pageNumber, const CPageMap& map, const std::vector<std::uint8_t>& page)
{
    std::printf("page\t%u\t%s\n", pageNumber, CPageMap::KindName(map.Kind()));
    for (const PageRegion& region : map.Regions()) {
        std::printf("%u\t%u\t%s\t", region.start, region.end, CPageMap::RegionName(region.kind));
        if (region.cell >= 0)
            std::printf("%d\n", region.cell);
        else
            std::printf("-\n");
    }
    std::printf("\n");
    for (std::size_t line = 0; line < page.size(); line += 16) {
        std::string text;
        std::printf("%08zx ", line);
        for (std::size_t i = line; i < line + 16; ++i) {
            if (i < page.size()) {
                std::printf(" %02x", page[i]);
                text += page[i] >= 0x20 && page[i] < 0x7f ? static_cast<char>(page[i]) : '.';
            } else {
                std::printf("   ");
            }
        }
        std::printf("  %s\n", text.c_str());
    }
}

}  // namespace

int RunPage(const std::vector<std::string>& args)
{
    const CliOptions options = ParseCliOptions(args);
    if (!options.error.empty())
        return UsageError(options.error);
    if (options.csv || options.csvRaw || options.journal || options.ordinal >= 0 ||
        !options.times.empty() || !options.out.empty())
        return UsageError("page takes --json and --wal only");
    if (options.positional.size() != 2)
        return UsageError("page needs a database file and a page number");
    const std::string& number = options.positional[1];
    std::uint32_t pageNumber = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), pageNumber);
    if (ec != std::errc() || end != number.data() + number.size() || pageNumber == 0)
        return UsageError("the page number counts from 1");
    const std::string& path = options.positional[0];

    CCliLogWnd log;
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.m_bUseWal = options.wal;
    DbInfo* db = OpenCliDatabase(parser, path);
    if (db == nullptr || !parser.OpenPages(*db))
        return 1;
    CPageRoles roles(parser.m_pageSource, db->UsableSize());
    std::vector<std::uint8_t> page;
    CPageMap map;
    if (!roles.MapPage(pageNumber, page, map)) {
        std::fprintf(stderr, "salvix-cli: %s has no page %u\n", path.c_str(), pageNumber);
        return 1;
    }
    for (const std::u16string& fault : map.Faults())
        PostLog(&log, u"Page", fault, kLogWarning);
    if (options.json)
        PrintJson(pageNumber, map);
    else
        PrintText(pageNumber, map, page);
    return 0;
}
