#include "tests/controls/GifBuilder.h"

#include <cstring>
#include <map>
#include <stdexcept>
#include <utility>

namespace {

int BitsFor(std::size_t colours)
{
    int bits = 1;
    while ((std::size_t{1} << bits) < colours)
        ++bits;
    return bits;
}

} // namespace

GifBuilder::GifBuilder(int screenWidth, int screenHeight, const std::vector<GifRgb>& globalPalette,
                       const char* version)
{
    m_bytes.insert(m_bytes.end(), version, version + std::strlen(version));
    Put16(screenWidth);
    Put16(screenHeight);
    const std::size_t packedAt = m_bytes.size();
    m_bytes.push_back(0);
    m_bytes.push_back(0); // background index
    m_bytes.push_back(0); // aspect ratio
    if (!globalPalette.empty()) {
        int bits = 0;
        PutPalette(globalPalette, bits);
        m_globalBits = bits;
        m_bytes[packedAt] = static_cast<std::uint8_t>(0x80 | ((bits - 1) << 4) | (bits - 1));
    }
}

void GifBuilder::Put16(int v)
{
    m_bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
    m_bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void GifBuilder::PutPalette(const std::vector<GifRgb>& palette, int& sizeBits)
{
    sizeBits = BitsFor(palette.size());
    for (std::size_t i = 0; i < (std::size_t{1} << sizeBits); ++i) {
        const GifRgb c = i < palette.size() ? palette[i] : GifRgb{};
        m_bytes.push_back(c.r);
        m_bytes.push_back(c.g);
        m_bytes.push_back(c.b);
    }
}

GifBuilder& GifBuilder::Comment(const std::string& text)
{
    m_bytes.push_back(0x21);
    m_bytes.push_back(0xFE);
    const Bytes sub = SubBlocks(Bytes(text.begin(), text.end()));
    m_bytes.insert(m_bytes.end(), sub.begin(), sub.end());
    return *this;
}

GifBuilder& GifBuilder::Application(const std::string& identifier8, const std::string& auth3, const Bytes& data)
{
    m_bytes.push_back(0x21);
    m_bytes.push_back(0xFF);
    m_bytes.push_back(11);
    const std::string id = (identifier8 + std::string(8, ' ')).substr(0, 8) + (auth3 + "   ").substr(0, 3);
    m_bytes.insert(m_bytes.end(), id.begin(), id.end());
    const Bytes sub = SubBlocks(data);
    m_bytes.insert(m_bytes.end(), sub.begin(), sub.end());
    return *this;
}

GifBuilder& GifBuilder::Loop(int count)
{
    return Application("NETSCAPE", "2.0",
                       Bytes{1, static_cast<std::uint8_t>(count & 0xFF), static_cast<std::uint8_t>(count >> 8)});
}

GifBuilder& GifBuilder::Control(int delay, int disposal, int transparentIndex)
{
    m_bytes.push_back(0x21);
    m_bytes.push_back(0xF9);
    m_bytes.push_back(4);
    m_bytes.push_back(static_cast<std::uint8_t>(((disposal & 7) << 2) | (transparentIndex >= 0 ? 1 : 0)));
    Put16(delay);
    m_bytes.push_back(static_cast<std::uint8_t>(transparentIndex >= 0 ? transparentIndex : 0));
    m_bytes.push_back(0);
    return *this;
}

GifBuilder& GifBuilder::Image(int left, int top, int width, int height, const Bytes& indices,
                              const std::vector<GifRgb>& localPalette)
{
    if (indices.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        throw std::invalid_argument("GifBuilder::Image: wrong number of indices");
    m_bytes.push_back(0x2C);
    Put16(left);
    Put16(top);
    Put16(width);
    Put16(height);
    int bits = m_globalBits;
    const std::size_t packedAt = m_bytes.size();
    m_bytes.push_back(0);
    if (!localPalette.empty()) {
        PutPalette(localPalette, bits);
        m_bytes[packedAt] = static_cast<std::uint8_t>(0x80 | (bits - 1));
    }
    const Bytes lzw = EncodeLzw(indices, bits < 2 ? 2 : bits);
    m_bytes.insert(m_bytes.end(), lzw.begin(), lzw.end());
    return *this;
}

GifBuilder& GifBuilder::Solid(int left, int top, int width, int height, int index,
                              const std::vector<GifRgb>& localPalette)
{
    return Image(left, top, width, height,
                 Bytes(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                       static_cast<std::uint8_t>(index)),
                 localPalette);
}

GifBuilder& GifBuilder::PlainText(const std::string& text)
{
    m_bytes.push_back(0x21);
    m_bytes.push_back(0x01);
    m_bytes.push_back(12);
    for (int i = 0; i < 12; ++i)
        m_bytes.push_back(static_cast<std::uint8_t>(i == 4 || i == 6 ? 8 : 0)); // grid 8x8 at 0,0
    const Bytes sub = SubBlocks(Bytes(text.begin(), text.end()));
    m_bytes.insert(m_bytes.end(), sub.begin(), sub.end());
    return *this;
}

GifBuilder& GifBuilder::Raw(const Bytes& bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

GifBuilder& GifBuilder::Trailer()
{
    m_bytes.push_back(0x3B);
    return *this;
}

GifBuilder::Bytes GifBuilder::SubBlocks(const Bytes& data)
{
    Bytes out;
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.push_back(0);
    return out;
}

GifBuilder::Bytes GifBuilder::EncodeLzw(const Bytes& indices, int minCodeSize)
{
    // Plain GIF LZW: codes are written least significant bit first; the code size grows
    // when the next free code no longer fits. Tiny images never fill the 4096-entry table.
    if (indices.size() > 4000)
        throw std::invalid_argument("GifBuilder::EncodeLzw: image too large for the test encoder");
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    int codeSize = minCodeSize + 1;
    int next = clear + 2;
    std::map<std::pair<int, int>, int> table;

    Bytes data;
    std::uint32_t bitBuffer = 0;
    int bitCount = 0;
    auto emit = [&](int code) {
        bitBuffer |= static_cast<std::uint32_t>(code) << bitCount;
        bitCount += codeSize;
        while (bitCount >= 8) {
            data.push_back(static_cast<std::uint8_t>(bitBuffer & 0xFF));
            bitBuffer >>= 8;
            bitCount -= 8;
        }
    };

    emit(clear);
    if (!indices.empty()) {
        int prefix = indices[0];
        for (std::size_t i = 1; i < indices.size(); ++i) {
            const int k = indices[i];
            const auto found = table.find({prefix, k});
            if (found != table.end()) {
                prefix = found->second;
                continue;
            }
            emit(prefix);
            table[{prefix, k}] = next++;
            if (next > (1 << codeSize) && codeSize < 12)
                ++codeSize;
            prefix = k;
        }
        emit(prefix);
    }
    emit(end);
    if (bitCount > 0)
        data.push_back(static_cast<std::uint8_t>(bitBuffer & 0xFF));

    Bytes out{static_cast<std::uint8_t>(minCodeSize)};
    const Bytes sub = SubBlocks(data);
    out.insert(out.end(), sub.begin(), sub.end());
    return out;
}
