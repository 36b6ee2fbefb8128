#include "WalLog.h"

#include <algorithm>
#include <unordered_set>

#include "engine/ByteReader.h"
#include "engine/LogPost.h"
#include "platform/WideFormat.h"

namespace {

constexpr std::uint32_t kMagic = 0x377f0682;
constexpr std::uint32_t kVersion = 3007000;
// Frames are read in blocks of about this many bytes.
constexpr std::uint32_t kReadBlockBytes = 1u << 20;

std::uint32_t LoadLittleEndian32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PostWal(HWND logWnd, std::uint8_t type, const std::u16string& text)
{
    PostLog(logWnd, type == kLogInfo ? u"WAL" : (type == kLogWarning ? u"warning" : u"error"),
            text, type);
}

}  // namespace

void CWalLog::Checksum(const std::uint8_t* data, std::uint32_t length, std::uint32_t& s0,
                       std::uint32_t& s1) const
{
    // Pairs of 32-bit words in the byte order the magic names; the sums
    // wrap at 32 bits.
    for (std::uint32_t i = 0; i < length && length - i >= 8; i += 8) {
        const std::uint32_t x0 = m_bigEndianChecksum ? *Get32(data, length, i)
                                                     : LoadLittleEndian32(data + i);
        const std::uint32_t x1 = m_bigEndianChecksum ? *Get32(data, length, i + 4)
                                                     : LoadLittleEndian32(data + i + 4);
        s0 += x0 + s1;
        s1 += x1 + s0;
    }
}

bool CWalLog::ReadHeader(const CSourceFile& file, HWND logWnd)
{
    std::uint8_t header[kHeaderSize];
    if (file.ReadAt(header, kHeaderSize, 0) != kHeaderSize) {
        PostWal(logWnd, kLogWarning, u"write-ahead log: shorter than its 32-byte header, ignored");
        return false;
    }
    const std::uint32_t magic = *Get32(header, kHeaderSize, 0);
    if ((magic & ~1u) != kMagic) {
        PostWal(logWnd, kLogWarning, u"write-ahead log: no log header (bad magic number), ignored");
        return false;
    }
    m_bigEndianChecksum = (magic & 1) != 0;
    const std::uint32_t version = *Get32(header, kHeaderSize, 4);
    m_pageSize = *Get32(header, kHeaderSize, 8);
    m_checkpoint = *Get32(header, kHeaderSize, 12);
    m_salt1 = *Get32(header, kHeaderSize, 16);
    m_salt2 = *Get32(header, kHeaderSize, 20);
    m_checksum1 = *Get32(header, kHeaderSize, 24);
    m_checksum2 = *Get32(header, kHeaderSize, 28);
    if (version != kVersion) {
        PostWal(logWnd, kLogWarning,
                WideFormat(u"write-ahead log: unknown format version %u, ignored", {version}));
        return false;
    }
    if (m_pageSize < 512 || m_pageSize > 65536 || (m_pageSize & (m_pageSize - 1)) != 0) {
        PostWal(logWnd, kLogWarning,
                WideFormat(u"write-ahead log: page size %u is not valid, ignored", {m_pageSize}));
        return false;
    }
    std::uint32_t s0 = 0;
    std::uint32_t s1 = 0;
    Checksum(header, 24, s0, s1);
    if (s0 != m_checksum1 || s1 != m_checksum2) {
        PostWal(logWnd, kLogWarning,
                u"write-ahead log: header checksum does not match, no frame is applied");
        return false;
    }
    return true;
}

bool CWalLog::Read(const CSourceFile& file, HWND logWnd)
{
    m_frames.clear();
    m_committed = 0;
    m_databasePages = 0;
    m_validFrames = 0;
    m_commits = 0;
    const bool headerSound = ReadHeader(file, logWnd);
    const std::int64_t size = file.Size();
    if (!headerSound || size < 0)
        return false;

    const std::uint64_t frameSize = kFrameHeaderSize + std::uint64_t(m_pageSize);
    const std::uint64_t body = static_cast<std::uint64_t>(size) - kHeaderSize;
    const std::uint64_t frameCount = std::min<std::uint64_t>(body / frameSize, UINT32_MAX);
    const std::uint64_t perBlock = std::max<std::uint64_t>(1, kReadBlockBytes / frameSize);
    std::vector<std::uint8_t> block(perBlock * frameSize);
    m_frames.reserve(frameCount);

    // The checksum stored in the previous frame (the header's before the
    // first); while the log is valid it is the running checksum.
    std::uint32_t p0 = m_checksum1;
    std::uint32_t p1 = m_checksum2;
    bool valid = true;
    for (std::uint64_t first = 0; first < frameCount; first += perBlock) {
        const std::uint64_t count = std::min(perBlock, frameCount - first);
        const std::uint64_t position = kHeaderSize + first * frameSize;
        if (file.ReadAt(block.data(), count * frameSize, position) !=
            static_cast<std::int64_t>(count * frameSize)) {
            PostWal(logWnd, kLogError,
                    WideFormat(u"write-ahead log: read failed at offset %I64u", {position}));
            break;
        }
        for (std::uint64_t k = 0; k < count; ++k) {
            Frame entry = ReadFrame(block.data() + k * frameSize, position + k * frameSize,
                                    static_cast<std::uint32_t>(first + k + 1), p0, p1);
            if (valid)
                valid = AcceptFrame(entry, logWnd);
            m_frames.push_back(entry);
        }
    }
    if (valid && body % frameSize != 0)
        PostWal(logWnd, kLogWarning,
                WideFormat(u"write-ahead log: the last frame at offset %I64u is cut short (%I64u "
                           u"of %I64u bytes); the log ends before it",
                           {kHeaderSize + frameCount * frameSize, body % frameSize, frameSize}));

    MarkCommittedFrames();
    PostWal(logWnd, kLogInfo,
            WideFormat(u"write-ahead log: %u frames, %u valid, %u committed; the last commit "
                       u"leaves %u pages",
                       {static_cast<unsigned>(m_frames.size()), m_validFrames, m_committed,
                        m_databasePages}));
    return true;
}

CPageOffsets CWalLog::CommittedPageOffsets() const
{
    CPageOffsets offsets;
    for (std::uint32_t i = 0; i < m_committed; ++i)
        if (m_frames[i].state == FrameState::kApplied)
            offsets.Add(m_frames[i].pageNumber, m_frames[i].pageOffset);
    offsets.Finish();
    return offsets;
}

// Reads the frame whose header starts at `frame` (file offset `at`). The
// checksum begins from the previous frame's stored checksum (`p0`, `p1`,
// replaced by this frame's): the running checksum while the log is valid,
// and past its end still a test of whether this frame is whole.
CWalLog::Frame CWalLog::ReadFrame(const std::uint8_t* frame, std::uint64_t at, std::uint32_t index,
                                  std::uint32_t& p0, std::uint32_t& p1) const
{
    const std::uint64_t frameSize = kFrameHeaderSize + std::uint64_t(m_pageSize);
    Frame entry;
    entry.index = index;
    entry.pageNumber = *Get32(frame, frameSize, 0);
    entry.commitSize = *Get32(frame, frameSize, 4);
    entry.pageOffset = at + kFrameHeaderSize;
    entry.salt1 = *Get32(frame, frameSize, 8);
    entry.salt2 = *Get32(frame, frameSize, 12);
    std::uint32_t c0 = p0;
    std::uint32_t c1 = p1;
    Checksum(frame, 8, c0, c1);
    Checksum(frame + kFrameHeaderSize, m_pageSize, c0, c1);
    p0 = *Get32(frame, frameSize, 16);
    p1 = *Get32(frame, frameSize, 20);
    entry.checksumValid = c0 == p0 && c1 == p1;
    const bool ownSalts = entry.salt1 == m_salt1 && entry.salt2 == m_salt2;
    entry.state = ownSalts ? FrameState::kInvalid : FrameState::kStale;
    return entry;
}

// Takes `entry`, read while the log was still valid, into the log: a frame
// of another log's salts, of page 0 or with a wrong checksum ends the log
// (false); else it counts as valid and a commit frame moves the commit point.
bool CWalLog::AcceptFrame(Frame& entry, HWND logWnd)
{
    const std::uint64_t at = entry.pageOffset - kFrameHeaderSize;
    if (entry.state == FrameState::kStale) {
        PostWal(logWnd, kLogInfo,
                WideFormat(u"write-ahead log: frame %u at offset %I64u is from an "
                           u"earlier log (other salts); the log ends before it",
                           {entry.index, at}));
        return false;
    }
    if (entry.pageNumber == 0 || !entry.checksumValid) {
        PostWal(logWnd, kLogWarning,
                WideFormat(u"write-ahead log: frame %u at offset %I64u fails its "
                           u"checksum; the log ends before it",
                           {entry.index, at}));
        return false;
    }
    entry.state = FrameState::kUncommitted;
    ++m_validFrames;
    if (entry.commitSize != 0) {
        m_committed = entry.index;
        m_databasePages = entry.commitSize;
        ++m_commits;
    }
    return true;
}

void CWalLog::MarkCommittedFrames()
{
    // The committed frames: the last one of each page is the version shown;
    // a page past the last commit's page count was cut off by it. The set
    // of pages seen grows with the frames, not with their page numbers.
    std::unordered_set<std::uint32_t> seen;
    seen.reserve(m_committed);
    for (std::uint32_t i = m_committed; i > 0; --i) {
        Frame& frame = m_frames[i - 1];
        const bool latest = seen.insert(frame.pageNumber).second;
        frame.state = latest && frame.pageNumber <= m_databasePages ? FrameState::kApplied
                                                                     : FrameState::kSuperseded;
    }
}
