// Picture and movie carving: finds where JPEG pictures and MP4/MOV movies
// begin inside any raw file (a database, a disk image) by testing the start
// of every 512-byte sector against their signatures.
//
// The file is read front to back in 1 MiB chunks. Progress goes to the
// parser's m_hProgressWnd (WM_SCAN_RANGE once, WM_SCAN_POS before every
// whole chunk), every hit to m_hResultWnd (WM_SCAN_RESULT, in file order),
// faults to m_hLogWnd. g_bStop is polled after every chunk and before the
// tail, so a stop takes effect within one chunk.
#pragma once

#include <cstdint>
#include <string>

#include "engine/SqliteParser.h"
#include "platform/WindowMessage.h"

// wParam: address of a std::uint32_t count of whole 1 MiB chunks.
constexpr UINT WM_SCAN_RANGE = 458;
// wParam: address of the std::uint32_t index of the chunk about to be read.
constexpr UINT WM_SCAN_POS = 459;
// wParam: address of a ScanResult; valid only until SendMessageW returns.
constexpr UINT WM_SCAN_RESULT = 500;

struct ScanResult {
    std::u16string type;      // "jpg", "mov", "mp4" or "sqlite"
    std::int64_t offset = 0;  // byte offset of the sector in the source file
    // Databases only (0 for pictures and movies): the page size, and the
    // bytes of the database that lie in the source from `offset` on.
    std::uint32_t pageSize = 0;
    std::int64_t size = 0;
};

constexpr std::uint32_t kCarveChunkSize = 0x100000;
constexpr std::uint32_t kCarveSectorSize = 512;
// A chunk is read in blocks of this size: small enough to stay in the
// processor's second-level cache between the kernel's copy and the test.
constexpr std::uint32_t kCarveBlockSize = 0x40000;

// Scans `path` for JPEG pictures ("jpg").
void CarveJpeg(CSqliteParser& parser, const std::u16string& path);
// Scans `path` for ISO base media movies ("mp4" and "mov").
void CarveMovie(const std::u16string& path, CSqliteParser& parser);
