// libFuzzer target for the GIF block walk: any bytes, counted and cut, never read out of bounds.
#include "controls/GifWalk.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    yfx::GifWalk walk(data, size);
    const std::size_t count = walk.CountGraphicBlocks();
    walk.Rewind();
    std::size_t cut = 0;
    while (auto frame = walk.CutFrame()) {
        ++cut;
        const std::uint64_t head = walk.FirstBlock();
        // A cut-out frame holds the header, a non-empty span of the data and the trailer.
        if (frame->bytes.size() < head + 2 || frame->bytes.size() > size + 1 || frame->bytes.back() != 0x3B)
            std::abort();
        if (frame->disposal > 7)
            std::abort();
        const auto own = frame->OwnScreenBytes();
        if (own.size() != frame->bytes.size())
            std::abort();
        if (walk.ReadPos() > size)
            std::abort();
    }
    // Cutting and counting walk the same blocks.
    if (cut != count)
        std::abort();
    return 0;
}
