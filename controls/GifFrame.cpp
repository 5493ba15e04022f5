#include "controls/GifFrame.h"

namespace yfx {

namespace {

void PutLe16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

} // namespace

std::vector<std::uint8_t> GifFrame::OwnScreenBytes() const
{
    std::vector<std::uint8_t> out = bytes;
    if (imageOffset == 0 || width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF)
        return out;
    // Logical screen (offsets 6..9) and image descriptor (left 1..2, top 3..4) must lie
    // inside the copy; they always do for a frame made by GifWalk::CutFrame.
    if (out.size() < 10 || imageOffset + 10 > out.size() || out[imageOffset] != 0x2C)
        return out;
    PutLe16(out, 6, static_cast<std::uint32_t>(width));
    PutLe16(out, 8, static_cast<std::uint32_t>(height));
    PutLe16(out, imageOffset + 1, 0);
    PutLe16(out, imageOffset + 3, 0);
    return out;
}

} // namespace yfx
