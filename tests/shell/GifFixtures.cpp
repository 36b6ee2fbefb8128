#include "GifFixtures.h"

#include <fstream>
#include <iterator>
#include <map>
#include <utility>

namespace {

class BitWriter {
public:
    void Put(unsigned code, int width)
    {
        m_bits |= static_cast<std::uint64_t>(code) << m_count;
        m_count += width;
        while (m_count >= 8) {
            m_out.push_back(static_cast<std::uint8_t>(m_bits & 0xFF));
            m_bits >>= 8;
            m_count -= 8;
        }
    }
    Bytes Finish()
    {
        if (m_count > 0)
            m_out.push_back(static_cast<std::uint8_t>(m_bits & 0xFF));
        return m_out;
    }

private:
    Bytes m_out;
    std::uint64_t m_bits = 0;
    int m_count = 0;
};

void Put16(Bytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutSubBlocks(Bytes& out, const Bytes& data)
{
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    out.push_back(0);
}

}  // namespace

Bytes LzwEncode(const Bytes& indices, int minCodeSize)
{
    const unsigned clear = 1u << minCodeSize;
    const unsigned end = clear + 1;
    std::map<std::pair<unsigned, unsigned>, unsigned> table;
    unsigned next = end + 1;
    int width = minCodeSize + 1;
    BitWriter writer;
    writer.Put(clear, width);
    unsigned prefix = indices.at(0);
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const unsigned k = indices[i];
        const auto found = table.find({prefix, k});
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        writer.Put(prefix, width);
        table[{prefix, k}] = next++;
        if (next > (1u << width) && width < 12)
            ++width;
        if (next == 4096) {
            writer.Put(clear, width);
            table.clear();
            next = end + 1;
            width = minCodeSize + 1;
        }
        prefix = k;
    }
    writer.Put(prefix, width);
    writer.Put(end, width);
    return writer.Finish();
}

Bytes BuildGif(std::uint16_t width, std::uint16_t height, const std::vector<FixtureFrame>& frames,
               bool withLoopExtension)
{
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(out, width);
    Put16(out, height);
    out.push_back(0x81);  // global table of 2^(1+1) = 4 entries
    out.push_back(0);     // background index
    out.push_back(0);     // aspect
    const std::uint8_t table[] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    out.insert(out.end(), std::begin(table), std::end(table));
    if (withLoopExtension) {
        const std::uint8_t loop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                     'E',  '2',  '.',  '0', 0x03, 0x01, 0x00, 0x00, 0x00};
        out.insert(out.end(), std::begin(loop), std::end(loop));
    }
    for (const FixtureFrame& frame : frames) {
        if (frame.withControl) {
            out.insert(out.end(), {0x21, 0xF9, 0x04,
                                   static_cast<std::uint8_t>((frame.disposal & 7) << 2)});
            Put16(out, frame.delay);
            out.insert(out.end(), {0x00, 0x00});
        }
        out.push_back(0x2C);
        Put16(out, frame.left);
        Put16(out, frame.top);
        Put16(out, frame.width);
        Put16(out, frame.height);
        out.push_back(0);  // no local table
        out.push_back(2);  // LZW minimum code size
        const Bytes pixels(static_cast<std::size_t>(frame.width) * frame.height, frame.colorIndex);
        PutSubBlocks(out, LzwEncode(pixels, 2));
    }
    out.push_back(0x3B);
    return out;
}

Bytes ReadFileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
