// libFuzzer target for the GIF block walk: any bytes, counted and cut, never read out of
// bounds. Each input is walked as it is and, so that the fuzzer reaches the blocks without
// first having to find a signature, once more behind a fixed GIF header.
#include "controls/GifWalk.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void Walk(const std::uint8_t* data, std::size_t size)
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
        if (frame->imageOffset != 0 && frame->bytes[frame->imageOffset] != 0x2C)
            std::abort();
        if (frame->OwnScreenBytes().size() != frame->bytes.size())
            std::abort();
        if (walk.ReadPos() > size)
            std::abort();
    }
    // Cutting and counting walk the same blocks.
    if (cut != count)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Walk(data, size);
    // "GIF89a", 16 x 16, a global table of 2 colours, then the input as the blocks.
    std::vector<std::uint8_t> framed{'G', 'I', 'F', '8', '9', 'a', 16, 0, 16, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
    framed.insert(framed.end(), data, data + size);
    Walk(framed.data(), framed.size());
    return 0;
}
