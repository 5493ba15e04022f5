#pragma once
// Firefox session files made for tests and benchmarks (no test framework inside): the mozLz4
// container and large session documents.
#include "panes/finder/BrowserPage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace yfx::test {

// "mozLz40\0", `declaredSize` as uint32 little-endian, then `text` compressed as one raw LZ4
// block (liblz4). Empty when liblz4 fails.
std::string MozLz4Bytes(std::string_view text, std::uint32_t declaredSize);

// A session document of at least `bytes` bytes, compact UTF-8 JSON as Firefox writes it: one
// window with tabs of other sites whose long titles do not compress (so its mozLz4 file is
// about as large as the text), then one tab for each of `last`, in order.
std::string LargeSessionDocument(std::size_t bytes, const std::vector<BrowserPage>& last);

// A mozLz4 session file of at least `bytes` bytes holding such a document. Empty when liblz4
// fails.
std::string LargeSessionFile(std::size_t bytes, const std::vector<BrowserPage>& last);

} // namespace yfx::test
