// Writes a deterministic disk image for the carving benchmark, and the hit
// lists that `salvix-cli carve jpeg`, `carve movie` and `carve sqlite` must
// print for it.
//
//   make_carve_image IMAGE EXPECTED_JPEG EXPECTED_MOVIE EXPECTED_SQLITE [SIZE_IN_BYTES]
//
// The image is pseudo-random bytes (splitmix64, fixed seed) in which
// JPEG, movie and database headers are planted at sector starts, next to decoys that a
// correct carver must pass over: the same headers at offsets that are not a
// multiple of 512, and near misses (a marker outside the accepted set, a
// missing zero after JFIF, isom with compatible brand iso2, and so on).
// Random sector starts that begin like a signature (FF D8 FF, or "ftyp" at
// byte 4) are scrubbed first, so the planted headers are the only hits.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kChunk = 1 << 20;
constexpr std::uint64_t kSector = 512;

struct SplitMix64 {
    std::uint64_t state;
    std::uint64_t Next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

using Bytes = std::vector<std::uint8_t>;

Bytes Jpeg(std::uint8_t marker, const char* identifier, std::uint8_t terminator)
{
    Bytes b = {0xFF, 0xD8, 0xFF, marker, 0x00, 0x10};
    b.insert(b.end(), identifier, identifier + 4);
    b.push_back(terminator);
    return b;
}

Bytes Movie(const char* major, const char* compatible)
{
    Bytes b = {0x00, 0x00, 0x00, 0x20, 'f', 't', 'y', 'p'};
    b.insert(b.end(), major, major + 4);
    b.insert(b.end(), {0x00, 0x00, 0x02, 0x00});
    b.insert(b.end(), compatible, compatible + 4);
    return b;
}

// A database header. `pageCount` is trusted when `countValid` (the
// version-valid-for number equals the change counter); otherwise the carver
// measures the database by its structure, and byte 100 (page 1's b-tree
// page type) is 0, so it proves page 1 only.
Bytes SqliteHeader(std::uint16_t rawPageSize, std::uint8_t version, std::uint8_t maxFraction,
                   std::uint32_t pageCount, bool countValid)
{
    Bytes b(101, 0);
    std::memcpy(b.data(), "SQLite format 3", 16);
    b[16] = static_cast<std::uint8_t>(rawPageSize >> 8);
    b[17] = static_cast<std::uint8_t>(rawPageSize);
    b[18] = b[19] = version;
    b[21] = maxFraction;
    b[22] = b[23] = 32;
    const auto put32 = [&b](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    put32(24, 7);  // change counter
    put32(28, pageCount);
    put32(92, countValid ? 7 : 6);
    return b;
}

struct Plant {
    Bytes bytes;
    const char* jpegType;   // expected from carve jpeg, or null
    const char* movieType;  // expected from carve movie, or null
    std::uint32_t dbPageSize = 0;  // expected from carve sqlite when not 0
    std::uint64_t dbLength = 0;    // before the cut at the end of the image
};

// What is planted at a sector start, in turn.
std::vector<Plant> SectorPlants()
{
    return {
        {Jpeg(0xE0, "JFIF", 0), "jpg", nullptr},
        {Jpeg(0xE1, "Exif", 0), "jpg", nullptr},
        {Jpeg(0xDB, "JFIF", 0), "jpg", nullptr},
        {Jpeg(0xC4, "Exif", 0), "jpg", nullptr},
        {Jpeg(0xFE, "JFIF", 0), "jpg", nullptr},
        {Jpeg(0xE2, "JFIF", 0), "jpg", nullptr},
        {Jpeg(0xE8, "Exif", 0), "jpg", nullptr},
        {Jpeg(0xEB, "JFIF", 0), "jpg", nullptr},
        {Jpeg(0xEE, "Exif", 0), "jpg", nullptr},
        {Movie("mp42", "mp42"), nullptr, "mp4"},
        {Movie("isom", "isom"), nullptr, "mp4"},
        {Movie("qt  ", "qt  "), nullptr, "mov"},
        {Movie("qt  ", "mp42"), nullptr, "mov"},
        // Near misses.
        {Jpeg(0xE3, "JFIF", 0), nullptr, nullptr},
        {Jpeg(0xE0, "JFIF", 'X'), nullptr, nullptr},
        {Jpeg(0xE1, "EXIF", 0), nullptr, nullptr},
        {Movie("isom", "iso2"), nullptr, nullptr},
        {Movie("mp42", "isom"), nullptr, nullptr},
        {Movie("qt  ", "isom"), nullptr, nullptr},
        {Movie("M4V ", "M4V "), nullptr, nullptr},
        {SqliteHeader(4096, 1, 64, 3, true), nullptr, nullptr, 4096, 3 * 4096},
        {SqliteHeader(1, 2, 64, 2, true), nullptr, nullptr, 65536, 2 * 65536},
        {SqliteHeader(512, 1, 64, 9, false), nullptr, nullptr, 512, 512},
        // Database near misses: page size not a power of two, fraction not 64.
        {SqliteHeader(1536, 1, 64, 3, true), nullptr, nullptr},
        {SqliteHeader(1024, 1, 65, 3, true), nullptr, nullptr},
    };
}

void Scrub(std::uint8_t* sector)
{
    if (sector[0] == 0xFF && sector[1] == 0xD8 && sector[2] == 0xFF)
        sector[0] = 0x00;
    if (std::memcmp(sector + 4, "ftyp", 4) == 0)
        sector[4] = 'F';
}

struct DbHit {
    std::uint32_t pageSize;
    std::uint64_t length;
};

bool WriteDbList(const char* path, const std::map<std::uint64_t, DbHit>& hits)
{
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr)
        return false;
    std::uint64_t index = 0;
    for (const auto& [offset, hit] : hits)
        std::fprintf(out, "%llu\tsqlite\t%llu\t%u\t%llu\n", static_cast<unsigned long long>(++index),
                     static_cast<unsigned long long>(offset), hit.pageSize,
                     static_cast<unsigned long long>(hit.length));
    return std::fclose(out) == 0;
}

bool WriteList(const char* path, const std::map<std::uint64_t, const char*>& hits)
{
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr)
        return false;
    std::uint64_t index = 0;
    for (const auto& [offset, type] : hits)
        std::fprintf(out, "%llu\t%s\t%llu\n", static_cast<unsigned long long>(++index), type,
                     static_cast<unsigned long long>(offset));
    return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5 || argc > 6) {
        std::fprintf(stderr, "usage: %s IMAGE EXPECTED_JPEG EXPECTED_MOVIE EXPECTED_SQLITE [SIZE]\n",
                     argv[0]);
        return 2;
    }
    const std::uint64_t size = argc == 6 ? std::strtoull(argv[5], nullptr, 10) : (2ull << 30);
    std::FILE* image = std::fopen(argv[1], "wb");
    if (image == nullptr) {
        std::perror(argv[1]);
        return 1;
    }

    const std::vector<Plant> plants = SectorPlants();
    std::map<std::uint64_t, const char*> jpegHits, movieHits;
    std::map<std::uint64_t, DbHit> dbHits;
    SplitMix64 random{0x5A1F1C0DEull};
    SplitMix64 placement{0xCA12FEull};
    std::size_t nextPlant = 0;
    Bytes chunk(kChunk);

    for (std::uint64_t base = 0; base < size; base += kChunk) {
        const std::uint64_t length = std::min<std::uint64_t>(kChunk, size - base);
        for (std::uint64_t i = 0; i + 8 <= kChunk; i += 8) {
            const std::uint64_t word = random.Next();
            std::memcpy(chunk.data() + i, &word, 8);
        }
        for (std::uint64_t s = 0; s + kSector <= length; s += kSector)
            Scrub(chunk.data() + s);

        const std::uint64_t sectors = length / kSector;
        // Two planted headers per chunk: one at the first or last sector
        // (chunk edges are where off-by-one faults live), one anywhere.
        std::uint64_t planted[2] = {sectors, sectors};
        for (int n = 0; n < 2 && sectors > 0; ++n) {
            const std::uint64_t roll = placement.Next();
            std::uint64_t sector = roll % sectors;
            if (n == 0)
                sector = (roll & 1) ? 0 : sectors - 1;
            else if (sector == planted[0])
                continue;
            planted[n] = sector;
            const Plant& plant = plants[nextPlant++ % plants.size()];
            std::memcpy(chunk.data() + sector * kSector, plant.bytes.data(), plant.bytes.size());
            if (plant.jpegType != nullptr)
                jpegHits[base + sector * kSector] = plant.jpegType;
            if (plant.movieType != nullptr)
                movieHits[base + sector * kSector] = plant.movieType;
            if (plant.dbPageSize != 0) {
                const std::uint64_t offset = base + sector * kSector;
                dbHits[offset] = {plant.dbPageSize, std::min(plant.dbLength, size - offset)};
            }
        }
        // A decoy off the sector grid: a real header, 1 to 511 bytes late,
        // placed so it cannot cover a planted sector start.
        if (sectors > 2) {
            const std::uint64_t roll = placement.Next();
            const std::uint64_t sector = 1 + roll % (sectors - 2);
            // The first 13 plants and the two database headers after the
            // near misses are real hits.
            const std::size_t pick = (roll >> 16) % 15;
            const Plant& plant = plants[pick < 13 ? pick : pick + 7];
            const std::uint64_t shift = 1 + (roll >> 32) % (kSector - 1 - plant.bytes.size());
            if (sector != planted[0] && sector != planted[1])
                std::memcpy(chunk.data() + sector * kSector + shift, plant.bytes.data(),
                            plant.bytes.size());
        }
        if (std::fwrite(chunk.data(), 1, length, image) != length) {
            std::perror(argv[1]);
            return 1;
        }
    }
    if (std::fclose(image) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    if (!WriteList(argv[2], jpegHits) || !WriteList(argv[3], movieHits) ||
        !WriteDbList(argv[4], dbHits)) {
        std::perror("expected list");
        return 1;
    }
    std::fprintf(stderr, "image %s: %llu bytes, %zu jpeg, %zu movie and %zu database headers planted\n",
                 argv[1], static_cast<unsigned long long>(size), jpegHits.size(), movieHits.size(),
                 dbHits.size());
    return 0;
}
