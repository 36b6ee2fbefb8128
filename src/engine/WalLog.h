// A write-ahead log: the "-wal" file beside a database, read only.
//
// Log header (32 bytes, big-endian):
//   offset size  meaning
//        0    4  magic 0x377f0682 or 0x377f0683; the low bit set means the
//                checksums sum big-endian words, clear little-endian ones
//        4    4  format version, 3007000
//        8    4  page size
//       12    4  checkpoint sequence number
//       16    8  salt-1, salt-2: copied into every frame of this log
//       24    8  checksum of bytes 0..23
//
// Frame: a 24-byte header, then one page.
//        0    4  page number
//        4    4  database size in pages for a commit frame, else 0
//        8    8  salt-1, salt-2
//       16    8  running checksum: begun from the log header's, over the
//                first 8 bytes of this frame header and the page
//
// A frame is valid while its salts are the header's and the running
// checksum holds; the first frame that fails ends the log. Only frames up
// to the last valid commit frame belong to the database. Past the end, a
// frame with other salts is stale: left behind by an earlier log that a
// checkpoint restarted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/PageOffsets.h"
#include "engine/SourceFile.h"
#include "platform/WindowMessage.h"

class CWalLog {
public:
    static constexpr std::uint32_t kHeaderSize = 32;
    static constexpr std::uint32_t kFrameHeaderSize = 24;

    enum class FrameState : std::uint8_t {
        kApplied,      // the version of its page the database shows
        kSuperseded,   // committed, but a later committed frame holds its page
        kUncommitted,  // valid, but after the last commit frame
        kStale,        // past the end of the valid log, with other salts:
                       // a frame of an earlier log that a checkpoint restarted
        kInvalid,      // past the end of the valid log with the header's
                       // salts: torn, damaged, or after such a frame
    };
    struct Frame {
        std::uint32_t index = 0;        // 1-based position in the file
        std::uint32_t pageNumber = 0;
        std::uint32_t commitSize = 0;   // pages of the database, for a commit frame
        std::uint64_t pageOffset = 0;   // where its page starts in the log file
        std::uint32_t salt1 = 0;        // as the frame header holds them
        std::uint32_t salt2 = 0;
        FrameState state = FrameState::kInvalid;
        // The frame's checksum holds when begun from the checksum stored in
        // the frame before it (the header's for the first): for a valid
        // frame the running checksum, past the end whether the frame is
        // whole as written.
        bool checksumValid = false;

        bool Valid() const { return state != FrameState::kStale && state != FrameState::kInvalid; }
    };

    // Reads the log in `file` (already open). Every fault is a log line sent
    // to `logWnd` naming the frame and its offset. Returns false when the
    // file holds no usable log header; a log with a header but no commit
    // returns true with no committed frames.
    bool Read(const CSourceFile& file, HWND logWnd);

    std::uint32_t PageSize() const { return m_pageSize; }
    std::uint32_t Salt1() const { return m_salt1; }
    std::uint32_t Salt2() const { return m_salt2; }
    std::uint32_t CheckpointSequence() const { return m_checkpoint; }
    // Frames up to and including the last valid commit frame.
    std::uint32_t CommittedFrames() const { return m_committed; }
    // Page count of the database as the last valid commit left it.
    std::uint32_t DatabasePages() const { return m_databasePages; }
    // Valid frames, and the commit frames among them.
    std::uint32_t ValidFrames() const { return m_validFrames; }
    std::uint32_t Commits() const { return m_commits; }
    // Every whole frame of the file, valid or not, in file order.
    const std::vector<Frame>& Frames() const { return m_frames; }
    // The log offset of each page's committed version.
    CPageOffsets CommittedPageOffsets() const;

private:
    bool ReadHeader(const CSourceFile& file, HWND logWnd);
    Frame ReadFrame(const std::uint8_t* frame, std::uint64_t at, std::uint32_t index, std::uint32_t& p0,
                    std::uint32_t& p1) const;
    bool AcceptFrame(Frame& entry, HWND logWnd);
    // Marks each committed frame applied (the last of its page within the
    // last commit's page count) or superseded.
    void MarkCommittedFrames();
    void Checksum(const std::uint8_t* data, std::uint32_t length, std::uint32_t& s0,
                  std::uint32_t& s1) const;

    bool m_bigEndianChecksum = false;
    std::uint32_t m_pageSize = 0;
    std::uint32_t m_checkpoint = 0;
    std::uint32_t m_salt1 = 0;
    std::uint32_t m_salt2 = 0;
    std::uint32_t m_checksum1 = 0;
    std::uint32_t m_checksum2 = 0;
    std::uint32_t m_committed = 0;
    std::uint32_t m_databasePages = 0;
    std::uint32_t m_validFrames = 0;
    std::uint32_t m_commits = 0;
    std::vector<Frame> m_frames;
};
