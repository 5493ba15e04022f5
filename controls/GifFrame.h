#pragma once
// One frame cut out of an animated GIF: a stand-alone one-frame GIF plus the values the
// animation needs. Plain data, no Qt.
#include <cstdint>
#include <vector>

namespace yfx {

struct GifFrame {
    // Delay of a frame that has no graphic control extension (all bits set).
    static constexpr std::uint32_t kNoDelay = 0xFFFFFFFFu;

    // Signature, logical screen descriptor and global colour table of the source, then the
    // frame's blocks from its control extension (or its image) to the end of its image data,
    // then the trailer 0x3B.
    std::vector<std::uint8_t> bytes;
    std::int32_t width = 0;   // from the image descriptor; 0 for a plain text extension
    std::int32_t height = 0;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::uint32_t delay = kNoDelay; // hundredths of a second, kNoDelay without a control extension
    std::uint32_t disposal = 0;     // 0..7, 0 without a control extension
    // Offset of the image descriptor (0x2C) inside `bytes`; 0 when the frame is a plain text
    // extension and has no image descriptor.
    std::size_t imageOffset = 0;

    // A copy of `bytes` whose logical screen is the frame's own size and whose image sits at
    // 0,0, so that a decoder yields exactly the frame's pixels. Without an image descriptor,
    // or with a zero width or height, the copy is unchanged.
    std::vector<std::uint8_t> OwnScreenBytes() const;
};

} // namespace yfx
