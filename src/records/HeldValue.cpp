#include "HeldValue.h"

#include "records/ValueWriters.h"

using namespace value_writers;

std::string_view HeldValueText(std::string_view held, char (&room)[kHeldTextRoom])
{
    if (held.empty() || static_cast<std::uint8_t>(held[0]) < kHeldReal)
        return held;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(held.data()) + 1;
    const std::size_t count = held.size() - 1;
    Utf8Cursor out{room};
    switch (static_cast<std::uint8_t>(held[0])) {
    case kHeldReal:
        if (count == sizeof(double)) {
            double value;
            std::memcpy(&value, bytes, sizeof value);
            AppendReal(out, value);
        }
        break;
    case kHeldInteger:
        if (count >= 1 && count <= 8) {
            std::uint64_t bits = 0;
            for (std::size_t i = 0; i < count; ++i)
                bits |= std::uint64_t{bytes[i]} << (8 * i);
            if (count < 8 && (bytes[count - 1] & 0x80) != 0)
                bits |= ~std::uint64_t{0} << (8 * count);  // sign extension
            AppendInteger(out, static_cast<std::int64_t>(bits));
        }
        break;
    case kHeldBlob: {
        std::uint64_t size = 0;
        std::size_t i = 0;
        for (unsigned shift = 0; i < count && shift < 64; shift += 7) {
            const std::uint8_t b = bytes[i++];
            size |= std::uint64_t{b & 0x7Fu} << shift;
            if ((b & 0x80) == 0)
                break;
        }
        AppendBlob(out, bytes + i, std::min<std::uint64_t>(count - i, kBlobPreviewBytes), size);
        break;
    }
    default:
        break;
    }
    return std::string_view(room, static_cast<std::size_t>(out.at - room));
}
