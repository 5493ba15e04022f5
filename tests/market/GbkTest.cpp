// GBK conversions and the multi-byte-aware search.
#include "market/Gbk.h"
#include "market/Texts.h"

#include <gtest/gtest.h>

namespace {

TEST(Gbk, RoundTripOfChineseText)
{
    EXPECT_EQ(yfx::Utf8ToGbk("手机"), "\xCA\xD6\xBB\xFA");
    EXPECT_EQ(yfx::GbkToUtf8("\xCA\xD6\xBB\xFA"), "手机");
    EXPECT_EQ(yfx::GbkToUtf8(yfx::Utf8ToGbk("淺色 T恤-淘宝网")), "淺色 T恤-淘宝网");
    EXPECT_EQ(yfx::Utf8ToGbk(""), "");
    EXPECT_EQ(yfx::GbkToUtf8("plain ascii"), "plain ascii");
}

TEST(Gbk, WhatDoesNotConvertIsMarkedNotLost)
{
    // an emoji has no GBK form
    EXPECT_EQ(yfx::Utf8ToGbk("a\xF0\x9F\x98\x80" "b"), "a?b");
    // invalid UTF-8
    EXPECT_EQ(yfx::Utf8ToGbk("a\xFF" "b"), "a?b");
    // a lone lead byte at the end, and one followed by an ASCII byte
    EXPECT_EQ(yfx::GbkToUtf8("ab\xCA"), "ab\xEF\xBF\xBD");
    EXPECT_EQ(yfx::GbkToUtf8("\xCA" "\x01" "x"), "\xEF\xBF\xBD\x01x");
    // FF FF is not GBK at all
    EXPECT_EQ(yfx::GbkToUtf8("\xFF\xFFz"), "\xEF\xBF\xBD\xEF\xBF\xBDz");
}

TEST(Gbk, Gb18030KeepsWhatGbkCannotHold)
{
    // GBK characters keep their GBK bytes
    EXPECT_EQ(yfx::Utf8ToGb18030("手机"), "\xCA\xD6\xBB\xFA");
    // an emoji gets its four-byte form (GBK would give '?'), and comes back whole
    EXPECT_EQ(yfx::Utf8ToGb18030("a\xF0\x9F\x98\x80" "b"), "a\x94\x39\xFC\x36" "b");
    EXPECT_EQ(yfx::GbkToUtf8(yfx::Utf8ToGb18030("a\xF0\x9F\x98\x80" "b")), "a\xF0\x9F\x98\x80" "b");
    EXPECT_EQ(yfx::Utf8ToGb18030("€"), "\xA2\xE3");
    EXPECT_EQ(yfx::Utf8ToGb18030("a\xFF" "b"), "a?b");
    EXPECT_EQ(yfx::Utf8ToGb18030(""), "");
}

TEST(Gbk, OwnConstantsAreGbkBytes)
{
    EXPECT_EQ(yfx::text::ShopNick(), "\xC7\xE0\xBA\xCC\xD0\xA1\xBB\xF5\xC0\xC9");
    EXPECT_EQ(yfx::GbkToUtf8(yfx::text::DeveloperCaption()), "请与程序开发者联系");
}

TEST(Gbk, LastHyphenSkipsTrailBytes)
{
    EXPECT_EQ(yfx::FindLastGbkChar("a-b-c", '-'), 3u);
    EXPECT_EQ(yfx::FindLastGbkChar("abc", '-'), std::string::npos);
    EXPECT_EQ(yfx::FindLastGbkChar("", '-'), std::string::npos);
    // 0x5C is a trail byte of 淺 (9C 5C): not a backslash
    EXPECT_EQ(yfx::FindLastGbkChar("\x9C\x5C", '\\'), std::string::npos);
    EXPECT_EQ(yfx::FindLastGbkChar("\\\x9C\x5C", '\\'), 0u);
    // a malformed pair whose second byte is '-' is still one pair
    EXPECT_EQ(yfx::FindLastGbkChar("x-\xCA-", '-'), 1u);
}

} // namespace
