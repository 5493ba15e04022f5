#include "controls/GifWalk.h"

#include <cstring>

namespace yfx {

namespace {

// 3 x 2^(n+1) bytes for a colour table whose packed byte has bit 7 set, else 0.
std::uint64_t ColourTableBytes(std::uint32_t packed)
{
    if ((packed & 0x80u) == 0)
        return 0;
    return 3u * (std::uint64_t{1} << ((packed & 0x07u) + 1));
}

} // namespace

GifWalk::GifWalk(const std::uint8_t* data, std::size_t length)
    : m_data(data), m_length(data ? length : 0)
{
    m_bGif = HasGifSignature(m_data, m_length);
    if (m_bGif) {
        m_screenWidth = static_cast<std::int32_t>(Le16(6));
        m_screenHeight = static_cast<std::int32_t>(Le16(8));
        m_globalTableBytes = static_cast<std::int32_t>(ColourTableBytes(Byte(10)));
    }
    m_readPos = FirstBlock();
}

bool GifWalk::HasGifSignature(const std::uint8_t* data, std::size_t length)
{
    if (!data || length < 6)
        return false;
    return std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0;
}

GifBlockKind GifWalk::KindAt(std::uint64_t pos) const
{
    if (pos >= m_length)
        return GifBlockKind::Unrecognised;
    switch (m_data[pos]) {
    case 0x2C:
        return GifBlockKind::Image;
    case 0x3B:
        return GifBlockKind::Trailer;
    case 0x21:
        if (pos + 1 >= m_length)
            return GifBlockKind::Unrecognised;
        switch (m_data[pos + 1]) {
        case 0xFF:
            return GifBlockKind::ApplicationExtension;
        case 0xFE:
            return GifBlockKind::CommentExtension;
        case 0xF9:
            return GifBlockKind::GraphicControl;
        case 0x01:
            return GifBlockKind::PlainText;
        default:
            return GifBlockKind::Unrecognised;
        }
    default:
        return GifBlockKind::Unrecognised;
    }
}

std::uint64_t GifWalk::SubBlocksLength(std::uint64_t pos) const
{
    // Every step reads one length byte inside the data, so the sum never exceeds m_length.
    std::uint64_t total = 0;
    for (;;) {
        const std::uint64_t at = pos + total;
        if (at >= m_length)
            return 0;
        const std::uint64_t size = m_data[at];
        total += size + 1;
        if (size == 0)
            return total;
        if (pos + total > m_length)
            return 0;
    }
}

std::uint64_t GifWalk::BlockLength(std::uint64_t pos) const
{
    if (pos >= m_length)
        return 0;
    std::uint64_t fixed = 0;
    switch (KindAt(pos)) {
    case GifBlockKind::ApplicationExtension:
        fixed = 14;
        break;
    case GifBlockKind::CommentExtension:
        fixed = 2;
        break;
    case GifBlockKind::PlainText:
        fixed = 15;
        break;
    case GifBlockKind::GraphicControl:
        return pos + 8 <= m_length ? 8 : 0;
    case GifBlockKind::Trailer:
        return 1;
    case GifBlockKind::Image:
        // Descriptor (10 bytes incl. 0x2C), optional local colour table, LZW code size byte.
        if (pos + 10 > m_length)
            return 0;
        fixed = 11 + ColourTableBytes(m_data[pos + 9]);
        break;
    case GifBlockKind::Unrecognised:
        return 0;
    }
    if (pos + fixed > m_length)
        return 0;
    const std::uint64_t chain = SubBlocksLength(pos + fixed);
    if (chain == 0)
        return 0;
    return fixed + chain; // pos + result <= m_length, checked by SubBlocksLength
}

bool GifWalk::Advance()
{
    const std::uint64_t length = BlockLength(m_readPos);
    if (length == 0 || m_readPos + length > m_length)
        return false;
    m_readPos += length;
    return true;
}

bool GifWalk::SkipMetaExtensions(bool alsoControl)
{
    for (;;) {
        const GifBlockKind kind = KindAt(m_readPos);
        const bool skip = kind == GifBlockKind::ApplicationExtension || kind == GifBlockKind::CommentExtension ||
                          (alsoControl && kind == GifBlockKind::GraphicControl);
        if (!skip)
            return true;
        if (!Advance())
            return false;
    }
}

bool GifWalk::SkipGraphicBlock()
{
    if (!m_bGif)
        return false;
    if (!SkipMetaExtensions(false))
        return false;
    GifBlockKind kind = KindAt(m_readPos);
    if (kind == GifBlockKind::Unrecognised || kind == GifBlockKind::Trailer)
        return false;
    if (kind == GifBlockKind::GraphicControl) {
        if (!Advance() || !SkipMetaExtensions(true))
            return false;
        kind = KindAt(m_readPos);
        if (kind != GifBlockKind::Image && kind != GifBlockKind::PlainText)
            return false;
    }
    return Advance();
}

std::optional<GifFrame> GifWalk::CutFrame()
{
    if (!m_bGif)
        return std::nullopt;
    if (!SkipMetaExtensions(false))
        return std::nullopt;
    GifBlockKind kind = KindAt(m_readPos);
    if (kind == GifBlockKind::Unrecognised || kind == GifBlockKind::Trailer)
        return std::nullopt;

    GifFrame frame;
    const std::uint64_t start = m_readPos;
    if (kind == GifBlockKind::GraphicControl) {
        if (BlockLength(m_readPos) == 0)
            return std::nullopt;
        frame.disposal = (Byte(m_readPos + 3) >> 2) & 0x07u;
        frame.delay = Le16(m_readPos + 4);
        if (!Advance() || !SkipMetaExtensions(true))
            return std::nullopt;
        kind = KindAt(m_readPos);
        if (kind != GifBlockKind::Image && kind != GifBlockKind::PlainText)
            return std::nullopt;
    }
    const std::uint64_t imageAt = m_readPos;
    if (!Advance())
        return std::nullopt;
    if (kind == GifBlockKind::Image) {
        // Advance succeeded, so the 10-byte descriptor lies inside the data.
        frame.left = static_cast<std::int32_t>(Le16(imageAt + 1));
        frame.top = static_cast<std::int32_t>(Le16(imageAt + 3));
        frame.width = static_cast<std::int32_t>(Le16(imageAt + 5));
        frame.height = static_cast<std::int32_t>(Le16(imageAt + 7));
    }

    // The first block lies at or before `start`, which lies inside the data.
    const std::uint64_t head = FirstBlock();
    const std::uint64_t span = m_readPos - start;
    frame.bytes.reserve(static_cast<std::size_t>(head + span + 1));
    frame.bytes.insert(frame.bytes.end(), m_data, m_data + head);
    frame.bytes.insert(frame.bytes.end(), m_data + start, m_data + m_readPos);
    frame.bytes.push_back(0x3B);
    if (kind == GifBlockKind::Image)
        frame.imageOffset = static_cast<std::size_t>(head + (imageAt - start));
    return frame;
}

std::size_t GifWalk::CountGraphicBlocks()
{
    Rewind();
    std::size_t count = 0;
    while (SkipGraphicBlock())
        ++count;
    return count;
}

} // namespace yfx
