#pragma once
// GBK text helpers. The marketplace answers in GBK and the core keeps every text as the GBK
// bytes it got; conversion happens only where text meets a person (widgets, logs) or where
// the program's own UTF-8 source constants become GBK bytes.
#include <string>
#include <string_view>

namespace yfx {

// UTF-8 -> GBK. A character without a GBK form becomes '?'; invalid UTF-8 bytes become '?'.
std::string Utf8ToGbk(std::string_view utf8);

// UTF-8 -> GB18030, the superset of GBK that has a form for every character: GBK characters
// keep their GBK bytes, the rest get GB18030's four-byte forms, so nothing is lost. Invalid
// UTF-8 bytes become '?'. For texts that arrive in UTF-8 (the open platform's answers).
std::string Utf8ToGb18030(std::string_view utf8);

// GBK -> UTF-8, decoded as GB18030 (a superset of GBK), so no valid byte sequence is lost.
// A byte sequence that does not decode becomes U+FFFD and decoding goes on after it.
std::string GbkToUtf8(std::string_view gbk);

// True when the byte is the lead byte of a GBK double-byte character (0x81..0xFE).
inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// True when `word` occurs in the GBK text starting on a character boundary (never inside a
// double-byte character), ASCII letters compared without case. An empty word always occurs.
bool GbkContains(std::string_view text, std::string_view word);

// The position of the last occurrence of the single-byte character ch in a GBK text, never
// counting the trail byte of a double-byte character; npos when there is none.
std::size_t FindLastGbkChar(std::string_view gbk, char ch);

} // namespace yfx
