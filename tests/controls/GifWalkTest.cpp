// The GIF block walk over hand-built byte buffers: header, block-length table, graphic-block
// counting with every kind of block in the way, frame cutting and every bound check.
#include "controls/GifWalk.h"
#include "tests/controls/GifBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

using yfx::GifBlockKind;
using yfx::GifFrame;
using yfx::GifWalk;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::vector<GifRgb> kPalette{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

GifWalk WalkOf(const Bytes& b)
{
    return GifWalk(b.data(), b.size());
}

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A header with the 4-colour global table: 13 + 12 bytes.
GifBuilder Header(int w = 8, int h = 8, const char* version = "GIF89a")
{
    return GifBuilder(w, h, kPalette, version);
}

} // namespace

// ---------------------------------------------------------------- header

struct HeaderCase {
    const char* name;
    Bytes data;
    bool gif;
    int width, height, tableBytes;
};

void PrintTo(const HeaderCase& c, std::ostream* os)
{
    *os << c.name;
}

class GifHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(GifHeader, ReadsSignatureScreenAndTable)
{
    const HeaderCase& c = GetParam();
    GifWalk walk = WalkOf(c.data);
    EXPECT_EQ(walk.IsGif(), c.gif);
    EXPECT_EQ(walk.ScreenWidth(), c.width);
    EXPECT_EQ(walk.ScreenHeight(), c.height);
    EXPECT_EQ(walk.GlobalTableBytes(), c.tableBytes);
    EXPECT_EQ(walk.FirstBlock(), 13u + static_cast<unsigned>(c.tableBytes));
    if (!c.gif) {
        // Not GIF: the walk does nothing, whatever follows.
        EXPECT_EQ(walk.CountGraphicBlocks(), 0u);
        walk.Rewind();
        EXPECT_FALSE(walk.CutFrame().has_value());
    }
}

Bytes WithTableBits(int bits)
{
    Bytes b{'G', 'I', 'F', '8', '9', 'a', 3, 0, 2, 0, static_cast<std::uint8_t>(0x80 | bits), 0, 0};
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Table, GifHeader,
    ::testing::Values(
        HeaderCase{"gif89a_with_table", Header(300, 2).bytes(), true, 300, 2, 12},
        HeaderCase{"gif87a_without_table", GifBuilder(16, 17, {}, "GIF87a").bytes(), true, 16, 17, 0},
        HeaderCase{"largest_table", WithTableBits(7), true, 3, 2, 768},
        HeaderCase{"smallest_table", WithTableBits(0), true, 3, 2, 6},
        HeaderCase{"other_version_is_not_gif", Header(8, 8, "GIF88a").Solid(0, 0, 8, 8, 1).Trailer().bytes(),
                   false, 0, 0, 0},
        HeaderCase{"lower_case_is_not_gif", Header(8, 8, "gif89a").Solid(0, 0, 8, 8, 1).bytes(), false, 0, 0, 0},
        HeaderCase{"five_bytes", Bytes{'G', 'I', 'F', '8', '9'}, false, 0, 0, 0},
        HeaderCase{"empty", Bytes{}, false, 0, 0, 0},
        HeaderCase{"bitmap", Bytes{'B', 'M', 0x36, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0}, false, 0, 0, 0},
        // A header cut short reads its missing fields as 0.
        HeaderCase{"cut_short_header", Bytes{'G', 'I', 'F', '8', '9', 'a', 0x34, 0x12, 0x07}, true, 0x1234, 7, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GifWalkNull, NullDataIsNotGif)
{
    GifWalk walk(nullptr, 100);
    EXPECT_FALSE(walk.IsGif());
    EXPECT_EQ(walk.CountGraphicBlocks(), 0u);
    EXPECT_EQ(walk.KindAt(0), GifBlockKind::Unrecognised);
    EXPECT_EQ(walk.BlockLength(0), 0u);
}

// ---------------------------------------------------------------- block-length table

struct LengthCase {
    const char* name;
    Bytes block; // placed right after a 25-byte header
    GifBlockKind kind;
    std::uint64_t length;
};

void PrintTo(const LengthCase& c, std::ostream* os)
{
    *os << c.name;
}

class GifBlockLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(GifBlockLength, FollowsTheTable)
{
    const LengthCase& c = GetParam();
    const Bytes data = Cat(Header().bytes(), c.block);
    const GifWalk walk = WalkOf(data);
    EXPECT_EQ(walk.KindAt(25), c.kind);
    EXPECT_EQ(walk.BlockLength(25), c.length);
}

Bytes Block(GifBuilder b)
{
    const Bytes all = b.bytes();
    return Bytes(all.begin() + 25, all.end());
}

INSTANTIATE_TEST_SUITE_P(
    Table, GifBlockLength,
    ::testing::Values(
        // 14 + (1 + 3) + 1
        LengthCase{"application", Block(Header().Application("NETSCAPE", "2.0", {1, 0, 0})),
                   GifBlockKind::ApplicationExtension, 19},
        LengthCase{"application_without_data", Block(Header().Application("XMPDataX", "XMP", {})),
                   GifBlockKind::ApplicationExtension, 15},
        // 2 + (1 + 5) + 1
        LengthCase{"comment", Block(Header().Comment("hello")), GifBlockKind::CommentExtension, 9},
        // 2 + (1 + 255) + (1 + 45) + 1
        LengthCase{"long_comment", Block(Header().Comment(std::string(300, 'c'))), GifBlockKind::CommentExtension,
                   305},
        LengthCase{"control", Block(Header().Control(10, 2)), GifBlockKind::GraphicControl, 8},
        // 15 + (1 + 2) + 1
        LengthCase{"plain_text", Block(Header().PlainText("hi")), GifBlockKind::PlainText, 19},
        LengthCase{"trailer", Bytes{0x3B}, GifBlockKind::Trailer, 1},
        // 11 + sub-blocks of the LZW data
        LengthCase{"image", Bytes{0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x00, 2, 3, 0x44, 0x01, 0x05, 0},
                   GifBlockKind::Image, 16},
        // 11 + local table of 3 * 2^(1+1) + sub-blocks
        LengthCase{"image_with_local_table",
                   Cat(Cat(Bytes{0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x81}, Bytes(12, 0x7F)), Bytes{2, 2, 0x44, 0x01, 0}),
                   GifBlockKind::Image, 27},
        LengthCase{"unknown_extension", Bytes{0x21, 0x99, 3, 1, 2, 3, 0}, GifBlockKind::Unrecognised, 0},
        LengthCase{"unknown_byte", Bytes{0x00, 0x3B}, GifBlockKind::Unrecognised, 0},
        LengthCase{"introducer_at_the_end", Bytes{0x21}, GifBlockKind::Unrecognised, 0},
        LengthCase{"nothing_left", Bytes{}, GifBlockKind::Unrecognised, 0},
        // Lengths that run past the data.
        LengthCase{"control_cut_short", Bytes{0x21, 0xF9, 4, 0, 10, 0, 0}, GifBlockKind::GraphicControl, 0},
        LengthCase{"comment_sub_block_past_end", Bytes{0x21, 0xFE, 200, 'a', 'b'}, GifBlockKind::CommentExtension,
                   0},
        LengthCase{"comment_without_terminator", Bytes{0x21, 0xFE, 2, 'a', 'b'}, GifBlockKind::CommentExtension, 0},
        LengthCase{"application_fixed_part_cut", Bytes{0x21, 0xFF, 11, 'N', 'E', 'T'},
                   GifBlockKind::ApplicationExtension, 0},
        LengthCase{"plain_text_fixed_part_cut", Bytes{0x21, 0x01, 12, 0, 0, 0}, GifBlockKind::PlainText, 0},
        LengthCase{"image_descriptor_cut", Bytes{0x2C, 0, 0, 0, 0, 2, 0}, GifBlockKind::Image, 0},
        LengthCase{"image_local_table_past_end", Bytes{0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x87, 2, 0},
                   GifBlockKind::Image, 0},
        LengthCase{"image_sub_block_past_end", Bytes{0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x00, 2, 0xFF, 1, 2, 3},
                   GifBlockKind::Image, 0},
        LengthCase{"image_without_lzw_data", Bytes{0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x00, 2},
                   GifBlockKind::Image, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GifSubBlocks, ChainEndingExactlyAtTheEndOfTheData)
{
    const Bytes data = Cat(Header().bytes(), Bytes{3, 1, 2, 3, 0});
    const GifWalk walk = WalkOf(data);
    EXPECT_EQ(walk.SubBlocksLength(25), 5u);
    EXPECT_EQ(walk.SubBlocksLength(26), 0u); // starts at a length byte 1, then runs off the end
    EXPECT_EQ(walk.SubBlocksLength(29), 1u); // just the terminator
    EXPECT_EQ(walk.SubBlocksLength(30), 0u); // nothing to read
    EXPECT_EQ(walk.SubBlocksLength(~std::uint64_t{0} - 3), 0u);
}

TEST(GifSubBlocks, LongHostileChainsNeverReadPastTheData)
{
    // 64 KiB of 0xFF: every sub-block claims 255 bytes and there is never a terminator.
    const Bytes data = Cat(Header().Raw({0x21, 0xFE}).bytes(), Bytes(65536, 0xFF));
    GifWalk walk = WalkOf(data);
    EXPECT_EQ(walk.BlockLength(25), 0u);
    EXPECT_EQ(walk.CountGraphicBlocks(), 0u);
}

// ---------------------------------------------------------------- counting and cutting

struct WalkCase {
    const char* name;
    Bytes data;
    std::size_t graphicBlocks;
};

void PrintTo(const WalkCase& c, std::ostream* os)
{
    *os << c.name;
}

class GifGraphicBlocks : public ::testing::TestWithParam<WalkCase> {};

TEST_P(GifGraphicBlocks, CountsAndCutsTheSameBlocks)
{
    const WalkCase& c = GetParam();
    GifWalk walk = WalkOf(c.data);
    EXPECT_EQ(walk.CountGraphicBlocks(), c.graphicBlocks);
    // Advancing never moves the read position past the end of the data.
    EXPECT_LE(walk.ReadPos(), std::max<std::uint64_t>(c.data.size(), walk.FirstBlock()));
    walk.Rewind();
    std::size_t cut = 0;
    while (const auto frame = walk.CutFrame()) {
        ++cut;
        ASSERT_GE(frame->bytes.size(), 27u);
        EXPECT_EQ(frame->bytes.back(), 0x3B);
        EXPECT_TRUE(std::equal(c.data.begin(), c.data.begin() + 25, frame->bytes.begin()))
            << "a cut-out frame starts with the source's header and global table";
    }
    EXPECT_EQ(cut, c.graphicBlocks);
}

GifBuilder ThreeFrames()
{
    return Header().Control(0, 1).Solid(0, 0, 8, 8, 0).Control(10, 2).Solid(1, 1, 4, 4, 1).Control(50, 3).Solid(
        2, 2, 3, 3, 2);
}

GifBuilder TwoFrames()
{
    return Header().Control(5, 0).Solid(0, 0, 8, 8, 0).Control(5, 0).Solid(0, 0, 8, 8, 1);
}

Bytes Cut(const Bytes& b, std::size_t keep)
{
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(keep));
}

INSTANTIATE_TEST_SUITE_P(
    Table, GifGraphicBlocks,
    ::testing::Values(
        WalkCase{"single_image", Header().Solid(0, 0, 8, 8, 1).Trailer().bytes(), 1},
        WalkCase{"single_image_with_control", Header().Control(0, 0).Solid(0, 0, 8, 8, 1).Trailer().bytes(), 1},
        WalkCase{"three_frames", ThreeFrames().Trailer().bytes(), 3},
        WalkCase{"comments_and_applications_everywhere",
                 Header()
                     .Loop(0)
                     .Comment("before the first frame")
                     .Control(10, 0)
                     .Solid(0, 0, 8, 8, 0)
                     .Comment("between")
                     .Application("XMPDataX", "XMP", {1, 2, 3})
                     .Control(10, 0)
                     .Solid(0, 0, 8, 8, 1)
                     .Comment("at the end")
                     .Trailer()
                     .bytes(),
                 2},
        WalkCase{"extensions_between_control_and_image",
                 Header().Control(10, 2).Comment("x").Loop(3).Control(20, 0).Solid(0, 0, 8, 8, 1).Trailer().bytes(), 1},
        WalkCase{"frames_without_control_extension",
                 Header().Solid(0, 0, 8, 8, 0).Solid(0, 0, 4, 4, 1).Solid(4, 4, 4, 4, 2).Trailer().bytes(), 3},
        WalkCase{"plain_text_is_a_graphic_block",
                 Header().Control(10, 0).PlainText("hi").Solid(0, 0, 8, 8, 1).Trailer().bytes(), 2},
        WalkCase{"local_colour_table", Header().Solid(0, 0, 8, 8, 1, kPalette).Solid(0, 0, 8, 8, 3, kPalette).bytes(),
                 2},
        WalkCase{"two_frames_then_unknown_extension", TwoFrames().Raw({0x21, 0x99, 1, 0, 0}).Solid(0, 0, 8, 8, 2).bytes(),
                 2},
        WalkCase{"two_frames_then_unknown_byte", TwoFrames().Raw({0x00}).Solid(0, 0, 8, 8, 2).Trailer().bytes(), 2},
        WalkCase{"two_frames_then_image_past_end",
                 TwoFrames().Raw({0x2C, 0, 0, 0, 0, 8, 0, 8, 0, 0, 2, 0xFE, 1, 2}).bytes(), 2},
        WalkCase{"two_frames_without_trailer", TwoFrames().bytes(), 2},
        WalkCase{"control_then_trailer", TwoFrames().Control(5, 0).Trailer().bytes(), 2},
        WalkCase{"control_then_unknown", TwoFrames().Control(5, 0).Raw({0x21, 0x02, 0}).bytes(), 2},
        WalkCase{"control_cut_short", Cut(TwoFrames().Control(5, 0).bytes(), TwoFrames().bytes().size() + 6), 2},
        WalkCase{"last_image_cut_in_its_data", Cut(ThreeFrames().bytes(), ThreeFrames().bytes().size() - 2), 2},
        WalkCase{"trailer_only", Header().Trailer().bytes(), 0},
        WalkCase{"header_only", Header().bytes(), 0},
        WalkCase{"comment_past_end_before_any_frame", Header().Raw({0x21, 0xFE, 9, 'a'}).bytes(), 0},
        WalkCase{"global_table_past_end", Cut(WithTableBits(7), 13), 0},
        WalkCase{"unknown_first_block", Header().Raw({0x99}).Solid(0, 0, 8, 8, 1).bytes(), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GifCutFrame, TakesDelayDisposalAndRectangle)
{
    const Bytes data = ThreeFrames().Trailer().bytes();
    GifWalk walk = WalkOf(data);
    struct Expect {
        std::uint32_t delay, disposal;
        int left, top, width, height;
    };
    const Expect expected[] = {{0, 1, 0, 0, 8, 8}, {10, 2, 1, 1, 4, 4}, {50, 3, 2, 2, 3, 3}};
    for (const Expect& e : expected) {
        const auto frame = walk.CutFrame();
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(frame->delay, e.delay);
        EXPECT_EQ(frame->disposal, e.disposal);
        EXPECT_EQ(frame->left, e.left);
        EXPECT_EQ(frame->top, e.top);
        EXPECT_EQ(frame->width, e.width);
        EXPECT_EQ(frame->height, e.height);
    }
    EXPECT_FALSE(walk.CutFrame().has_value());
}

TEST(GifCutFrame, BytesAreHeaderSpanAndTrailer)
{
    // header | comment | control | comment | image | comment | image | trailer
    GifBuilder b = Header();
    b.Comment("skipped");
    const std::size_t spanStart = b.bytes().size();
    b.Control(7, 2).Comment("inside").Solid(1, 2, 3, 4, 1);
    const std::size_t spanEnd = b.bytes().size();
    b.Comment("after");
    const std::size_t secondStart = b.bytes().size();
    b.Solid(0, 0, 2, 2, 0);
    const std::size_t secondEnd = b.bytes().size();
    b.Trailer();
    const Bytes data = b.bytes();

    GifWalk walk = WalkOf(data);
    const auto frame = walk.CutFrame();
    ASSERT_TRUE(frame.has_value());
    Bytes expected(data.begin(), data.begin() + 25);
    expected.insert(expected.end(), data.begin() + static_cast<std::ptrdiff_t>(spanStart),
                    data.begin() + static_cast<std::ptrdiff_t>(spanEnd));
    expected.push_back(0x3B);
    EXPECT_EQ(frame->bytes, expected);
    EXPECT_EQ(walk.ReadPos(), spanEnd);
    // 25 header bytes, 8 control, 2 + 7 + 1 comment "inside": the descriptor follows.
    EXPECT_EQ(frame->imageOffset, 25u + 8u + 10u);
    EXPECT_EQ(frame->bytes[frame->imageOffset], 0x2C);

    // The frame without a control extension: all bits set for the delay, disposal 0.
    const auto second = walk.CutFrame();
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->delay, GifFrame::kNoDelay);
    EXPECT_EQ(second->disposal, 0u);
    EXPECT_EQ(second->imageOffset, 25u);
    Bytes expectedSecond(data.begin(), data.begin() + 25);
    expectedSecond.insert(expectedSecond.end(), data.begin() + static_cast<std::ptrdiff_t>(secondStart),
                          data.begin() + static_cast<std::ptrdiff_t>(secondEnd));
    expectedSecond.push_back(0x3B);
    EXPECT_EQ(second->bytes, expectedSecond);
    EXPECT_FALSE(walk.CutFrame().has_value());
}

TEST(GifCutFrame, PlainTextFrameHasNoRectangle)
{
    const Bytes data = Header().Control(30, 1).PlainText("hi").Solid(0, 0, 8, 8, 1).Trailer().bytes();
    GifWalk walk = WalkOf(data);
    const auto frame = walk.CutFrame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->delay, 30u);
    EXPECT_EQ(frame->width, 0);
    EXPECT_EQ(frame->height, 0);
    EXPECT_EQ(frame->imageOffset, 0u);
    EXPECT_EQ(frame->OwnScreenBytes(), frame->bytes);
}

TEST(GifCutFrame, OwnScreenBytesMoveTheFrameToTheOrigin)
{
    const Bytes data = Header(40, 30).Control(10, 0).Solid(5, 6, 7, 8, 2).Trailer().bytes();
    GifWalk walk = WalkOf(data);
    const auto frame = walk.CutFrame();
    ASSERT_TRUE(frame.has_value());
    const Bytes own = frame->OwnScreenBytes();
    ASSERT_EQ(own.size(), frame->bytes.size());
    EXPECT_EQ(own[6], 7);
    EXPECT_EQ(own[7], 0);
    EXPECT_EQ(own[8], 8);
    EXPECT_EQ(own[9], 0);
    const std::size_t at = frame->imageOffset;
    EXPECT_EQ(Bytes(own.begin() + static_cast<std::ptrdiff_t>(at), own.begin() + static_cast<std::ptrdiff_t>(at) + 10),
              (Bytes{0x2C, 0, 0, 0, 0, 7, 0, 8, 0, 0}));
    // Everything else is unchanged.
    for (std::size_t i = 0; i < own.size(); ++i) {
        if ((i >= 6 && i < 10) || (i > at && i < at + 5))
            continue;
        EXPECT_EQ(own[i], frame->bytes[i]) << "byte " << i;
    }
    // The source values stay in the frame.
    EXPECT_EQ(frame->left, 5);
    EXPECT_EQ(frame->top, 6);
}
