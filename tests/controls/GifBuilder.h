#pragma once
// Writes small GIF files byte by byte for the tests, so every block of every edge case is
// explicit: header with an optional global colour table, frames with their control
// extensions, comment and application extensions, plain text extensions, unknown blocks and
// raw bytes. Image data is LZW-encoded by a small encoder (images up to 4000 pixels).
#include <cstdint>
#include <string>
#include <vector>

struct GifRgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

class GifBuilder {
public:
    using Bytes = std::vector<std::uint8_t>;

    // "GIF89a" header; the palette becomes the global colour table (padded to a power of
    // two, at least 2 entries), none when empty.
    GifBuilder(int screenWidth, int screenHeight, const std::vector<GifRgb>& globalPalette,
               const char* version = "GIF89a");

    GifBuilder& Comment(const std::string& text);
    // An application extension ("NETSCAPE" "2.0" with a loop count, for example).
    GifBuilder& Application(const std::string& identifier8, const std::string& auth3, const Bytes& data);
    GifBuilder& Loop(int count = 0);
    // Graphic control extension: delay in hundredths, disposal 0..7, optional transparent index.
    GifBuilder& Control(int delay, int disposal, int transparentIndex = -1);
    // Image descriptor and data; `indices` has width x height palette indices (row by row).
    GifBuilder& Image(int left, int top, int width, int height, const Bytes& indices,
                      const std::vector<GifRgb>& localPalette = {});
    // An image of one colour index.
    GifBuilder& Solid(int left, int top, int width, int height, int index,
                      const std::vector<GifRgb>& localPalette = {});
    // A plain text extension with a short text.
    GifBuilder& PlainText(const std::string& text);
    GifBuilder& Raw(const Bytes& bytes);
    GifBuilder& Trailer();

    const Bytes& bytes() const { return m_bytes; }
    std::string str() const { return std::string(m_bytes.begin(), m_bytes.end()); }

    // LZW data of a GIF image: the minimum code size byte, then the data sub-blocks.
    static Bytes EncodeLzw(const Bytes& indices, int minCodeSize);
    // Sub-blocks of at most 255 bytes and the terminating zero byte.
    static Bytes SubBlocks(const Bytes& data);

private:
    void Put16(int v);
    void PutPalette(const std::vector<GifRgb>& palette, int& sizeBits);

    Bytes m_bytes;
    int m_globalBits = 0; // bits per index of the global table, 0 without one
};
