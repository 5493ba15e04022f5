#pragma once
// The block walk over GIF data: recognises the signature, reads the logical screen, counts
// graphic blocks and cuts every frame out into a stand-alone one-frame GIF. It never decodes
// image data. Plain C++ over a byte buffer, no Qt.
//
// The data is untrusted: every length is checked against the end of the buffer before a byte
// is read, positions are 64-bit so no sum of lengths can wrap, and a block that would end
// beyond the data (or has no length) ends the walk. Nothing here allocates except CutFrame's
// result, whose size is bounded by the data.
#include "controls/GifFrame.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace yfx {

enum class GifBlockKind {
    ApplicationExtension, // 0x21 0xFF
    CommentExtension,     // 0x21 0xFE
    GraphicControl,       // 0x21 0xF9
    PlainText,            // 0x21 0x01
    Image,                // 0x2C, descriptor with its image data
    Trailer,              // 0x3B
    Unrecognised,         // anything else, or no byte left to decide
};

class GifWalk {
public:
    // Views `length` bytes at `data` (not copied: they must outlive the walk). Reads the
    // header when the data begins with "GIF87a" or "GIF89a"; otherwise IsGif() is false and
    // every walk operation fails at once. A GIF header cut short reads its missing fields as 0.
    GifWalk(const std::uint8_t* data, std::size_t length);

    // True when the first six bytes are "GIF87a" or "GIF89a" (other versions are not GIF here).
    static bool HasGifSignature(const std::uint8_t* data, std::size_t length);

    bool IsGif() const { return m_bGif; }
    std::int32_t ScreenWidth() const { return m_screenWidth; }
    std::int32_t ScreenHeight() const { return m_screenHeight; }
    // Byte size of the global colour table, 0 when there is none.
    std::int32_t GlobalTableBytes() const { return m_globalTableBytes; }
    // Offset of the first block: 13 + GlobalTableBytes() (for GIF data).
    std::uint64_t FirstBlock() const { return 13u + static_cast<std::uint64_t>(m_globalTableBytes); }
    std::uint64_t ReadPos() const { return m_readPos; }
    // Back to the first block.
    void Rewind() { m_readPos = FirstBlock(); }

    // Kind of the block at `pos`, from its first one or two bytes.
    GifBlockKind KindAt(std::uint64_t pos) const;
    // Byte length of the block at `pos` by the block-length table; 0 when the block is
    // unrecognised, or when it (or its chain of sub-blocks) would end beyond the data.
    std::uint64_t BlockLength(std::uint64_t pos) const;
    // Length of the chain of data sub-blocks starting at `pos`: each sub-block's length byte
    // plus one, plus one for the terminating zero byte. 0 when the chain would read or end
    // beyond the data.
    std::uint64_t SubBlocksLength(std::uint64_t pos) const;

    // Advances over one graphic block (optional control extension with the application,
    // comment and control extensions after it, then an image or a plain text extension),
    // skipping application and comment extensions before it. False at the trailer, at an
    // unrecognised block, at a block that runs past the data, or when the data is not GIF;
    // the read position is then unspecified.
    bool SkipGraphicBlock();

    // Cuts the next graphic block out as a stand-alone one-frame GIF with its values (see
    // GifFrame); the read position moves past it. Nothing when SkipGraphicBlock would fail.
    std::optional<GifFrame> CutFrame();

    // Number of graphic blocks from the first block on (SkipGraphicBlock until it fails).
    // Leaves the read position where the walk stopped.
    std::size_t CountGraphicBlocks();

private:
    // Adds the length of the block at the read position, when it is valid.
    bool Advance();
    // Advances over application and comment extensions; false when one of them is invalid.
    bool SkipMetaExtensions(bool alsoControl);
    std::uint32_t Byte(std::uint64_t pos) const { return pos < m_length ? m_data[pos] : 0u; }
    std::uint32_t Le16(std::uint64_t pos) const { return Byte(pos) | (Byte(pos + 1) << 8); }

    const std::uint8_t* m_data = nullptr;
    std::uint64_t m_length = 0;
    bool m_bGif = false;
    std::int32_t m_screenWidth = 0;
    std::int32_t m_screenHeight = 0;
    std::int32_t m_globalTableBytes = 0;
    std::uint64_t m_readPos = 0;
};

} // namespace yfx
